// The main window's background, drawn by code at whatever size the window has, so it is
// as sharp at 200% as at 100%: a dusk sky over layered ridges, darkest where the window
// draws its white text.
#pragma once

#include <cstdint>
#include <vector>

// The art's own proportions: the window's client area at 100% (1.5 x 1.625 pixels a
// dialog unit). Other sizes map onto it, each axis on its own, as dialog units do.
inline constexpr int kArtWidth = 1020;
inline constexpr int kArtHeight = 761;

// width x height pixels, rows top down, each 0x00RRGGBB (a 32-bit DIB's layout).
std::vector<std::uint32_t> DrawBackgroundArt(int width, int height);
