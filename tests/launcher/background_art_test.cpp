#include "launcher/background_art.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

int Luminance(std::uint32_t pixel) {
    const int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
    return (r * 3 + g * 6 + b) / 10;
}

struct Light {
    int brightest = 0;
    int average = 0;
};

// Over a rectangle given in the main dialog's units (680 x 468).
Light LightIn(const std::vector<std::uint32_t>& pixels, int width, int height, int left, int top,
              int right, int bottom) {
    Light light;
    long long sum = 0, count = 0;
    for (int y = top * height / 468; y < bottom * height / 468; ++y) {
        for (int x = left * width / 680; x < right * width / 680; ++x) {
            const int luminance = Luminance(pixels[std::size_t(y) * width + x]);
            light.brightest = std::max(light.brightest, luminance);
            sum += luminance;
            ++count;
        }
    }
    light.average = static_cast<int>(sum / count);
    return light;
}

// 100%, 125%, and 150% and 200% as wine's fonts grow the dialog (rows less than columns).
TEST(BackgroundArtTest, WhiteTextStaysOnDarkGroundAndStarsShowAtEveryScale) {
    const struct {
        int width, height;
    } sizes[] = {{1020, 761}, {1275, 951}, {1530, 995}, {2040, 1330}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        const auto pixels = DrawBackgroundArt(size.width, size.height);
        ASSERT_EQ(pixels.size(), std::size_t(size.width) * size.height);
        // The top row: Logout, the user name, the version and Settings.
        EXPECT_LT(LightIn(pixels, size.width, size.height, 0, 10, 680, 30).average, 30);
        // The server list, status text, progress bar and main button.
        EXPECT_LT(LightIn(pixels, size.width, size.height, 30, 345, 265, 420).brightest, 40);
        EXPECT_GT(LightIn(pixels, size.width, size.height, 0, 30, 680, 150).brightest, 150)
            << "stars";
    }
}

}  // namespace
