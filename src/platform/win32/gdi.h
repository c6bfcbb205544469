// GDI objects that release themselves.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

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
