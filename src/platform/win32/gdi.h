// GDI objects that release themselves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// A bitmap of width x height 0x00RRGGBB pixels, rows top down; null when the system
// has no memory for it.
inline UniqueBitmap BitmapFromPixels(int width, int height, const std::uint32_t* pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap) std::memcpy(bits, pixels, std::size_t(width) * height * sizeof *pixels);
    return bitmap;
}

// A memory device context compatible with another, with one bitmap selected into it
// for as long as it lives.
class MemoryDC {
public:
    MemoryDC(HDC compatibleWith, HBITMAP bitmap)
        : dc_(CreateCompatibleDC(compatibleWith)),
          previous_(dc_ != nullptr ? SelectObject(dc_, bitmap) : nullptr) {}
    ~MemoryDC() {
        if (dc_ == nullptr) return;
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    HDC get() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};
