#include "launcher/game_launch.h"

#include <gtest/gtest.h>

TEST(GameCommandLineTest, ValuesGoInUnquotedAfterTheirSwitches) {
    EXPECT_EQ(GameCommandLine("10.0.0.1:7777", "Pilot One", "K Y"),
              " +connect 10.0.0.1:7777 +netplayername Pilot One +userkey K Y");
}
