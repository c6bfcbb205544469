#include "platform/window_geometry.h"

#include <gtest/gtest.h>

TEST(CenteredOriginTest, CentresOverTheParentWithTruncatingDivision) {
    const ScreenPoint p = CenteredOrigin({0, 0, 1280, 1024}, {10, 10, 10 + 261, 10 + 135});
    EXPECT_EQ(p.x, (1280 - 261) / 2);
    EXPECT_EQ(p.y, (1024 - 135) / 2);

    const ScreenPoint offset = CenteredOrigin({100, 50, 301, 151}, {0, 0, 100, 50});
    EXPECT_EQ(offset.x, 100 + 50);  // 101 / 2 truncates to 50
    EXPECT_EQ(offset.y, 50 + 25);
}

TEST(CenteredOriginTest, AWindowLargerThanItsParentOverhangsEvenly) {
    // -5 / 2 truncates toward zero, not down.
    const ScreenPoint p = CenteredOrigin({0, 0, 100, 100}, {0, 0, 105, 103});
    EXPECT_EQ(p.x, -2);
    EXPECT_EQ(p.y, -1);
}
