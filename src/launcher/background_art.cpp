#include "launcher/background_art.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace {

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct SkyStop {
    double at;  // fraction of the height
    Colour colour;
};

constexpr SkyStop kSky[] = {
    {0.00, {6, 9, 28}},    {0.30, {22, 26, 66}},   {0.46, {74, 44, 92}},
    {0.56, {196, 96, 78}}, {0.60, {246, 168, 96}},
};

Colour Sky(double fraction) {
    for (std::size_t i = 1; i < std::size(kSky); ++i) {
        if (fraction <= kSky[i].at) {
            return Mix(kSky[i - 1].colour, kSky[i].colour,
                       (fraction - kSky[i - 1].at) / (kSky[i].at - kSky[i - 1].at));
        }
    }
    return kSky[std::size(kSky) - 1].colour;
}

struct Wave {
    double amplitude, frequency, phase;
};

// Far to near; heights in art pixels. Each fades to near-black toward the front, so
// the status line and the buttons sit on dark ground.
struct Ridge {
    double base;
    std::array<Wave, 3> waves;
    double dip;  // a valley around x = 190, on the second ridge only
    Colour top, bottom;

    double Height(double x) const {
        double height = base;
        for (const Wave& wave : waves)
            height += wave.amplitude * std::sin(x * wave.frequency + wave.phase);
        const double offset = (x - 190) / 230.0;
        return height - dip * std::exp(-offset * offset);
    }
};

const Ridge kRidges[] = {
    {430, {{{26, 0.011, 0.4}, {12, 0.031, 1.9}, {5, 0.083, 0.2}}}, 0, {96, 60, 104}, {60, 38, 78}},
    {470, {{{38, 0.007, 2.2}, {16, 0.023, 0.7}, {6, 0.071, 1.3}}}, 110, {44, 30, 66}, {26, 18, 44}},
    {545, {{{30, 0.005, 4.1}, {12, 0.019, 2.6}, {4, 0.061, 0.9}}}, 0, {20, 16, 36}, {10, 9, 22}},
    {640, {{{22, 0.004, 1.1}, {9, 0.015, 3.3}, {3, 0.05, 2.0}}}, 0, {8, 8, 18}, {4, 4, 10}},
};

constexpr double kSunX = 735, kSunY = 452, kSunRadius = 64, kGlow = 90;
constexpr int kStars = 420;

// The same sky every time, whatever the platform's random numbers.
class SplitMix {
public:
    explicit SplitMix(std::uint64_t seed) : state_(seed) {}
    double Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<double>((z ^ (z >> 31)) >> 11) / 9007199254740992.0;
    }

private:
    std::uint64_t state_;
};

std::uint32_t Pack(Colour c) {
    const auto channel = [](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 255.0)));
    };
    return channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

}  // namespace

std::vector<std::uint32_t> DrawBackgroundArt(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    const double sx = static_cast<double>(width) / kArtWidth;
    const double sy = static_cast<double>(height) / kArtHeight;
    // Round things stay round when the axes scale apart.
    const double s = std::min(sx, sy);
    const auto at = [width](int x, int y) { return static_cast<std::size_t>(y) * width + x; };

    // A star covers one art pixel, so at 200% it is two screen pixels across.
    std::unordered_map<std::size_t, double> stars;
    SplitMix random(1020761);
    const int side = std::max(1, static_cast<int>(std::lround(s)));
    for (int i = 0; i < kStars; ++i) {
        const double x = random.Next() * kArtWidth, y = random.Next() * kArtHeight * 0.5;
        const double brightness = random.Next() * (1.0 - y / (kArtHeight * 0.5));
        const int px = static_cast<int>(x * sx), py = static_cast<int>(y * sy);
        for (int dy = 0; dy < side; ++dy)
            for (int dx = 0; dx < side; ++dx)
                if (px + dx < width && py + dy < height) stars[at(px + dx, py + dy)] = brightness;
    }

    std::vector<std::array<double, std::size(kRidges)>> skylines(width);
    for (int x = 0; x < width; ++x)
        for (std::size_t r = 0; r < std::size(kRidges); ++r)
            skylines[x][r] = kRidges[r].Height(x / sx) * sy;

    const double sunX = kSunX * sx, sunY = kSunY * sy, radius = kSunRadius * s, glow = kGlow * s;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const Colour sky = Sky(y / sy / kArtHeight);
        for (int x = 0; x < width; ++x) {
            Colour colour = sky;
            const double distance = std::hypot(x - sunX, y - sunY);
            if (distance < radius) {
                colour = Mix({255, 226, 160}, {255, 190, 110}, distance / radius);
            } else {
                colour = Mix(colour, {255, 180, 110}, 0.55 * std::exp(-(distance - radius) / glow));
            }
            if (!stars.empty()) {
                const auto star = stars.find(at(x, y));
                if (star != stars.end()) colour = Mix(colour, {255, 255, 255}, star->second);
            }
            for (std::size_t r = 0; r < std::size(kRidges); ++r) {
                const double top = skylines[x][r];
                if (y >= top) {
                    colour = Mix(kRidges[r].top, kRidges[r].bottom, (y - top) / (160 * sy));
                } else if (y >= top - 1.0) {  // a soft edge against the sky
                    colour = Mix(colour, kRidges[r].top, y - (top - 1.0));
                }
            }
            pixels[at(x, y)] = Pack(colour);
        }
    }
    return pixels;
}
