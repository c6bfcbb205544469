#pragma once

#include <memory>

#include "platform/display_modes.h"

struct IDirect3D9;

// Holds a Direct3D 9 object for its own lifetime; keep one only while modes are read.
class Direct3DDisplayModes final : public DisplayModeSource {
public:
    Direct3DDisplayModes();
    ~Direct3DDisplayModes() override;
    Direct3DDisplayModes(const Direct3DDisplayModes&) = delete;
    Direct3DDisplayModes& operator=(const Direct3DDisplayModes&) = delete;

    std::vector<AdapterMode> Modes(std::uint32_t format) override;

private:
    struct Releaser {
        void operator()(IDirect3D9* direct3d) const;
    };
    std::unique_ptr<IDirect3D9, Releaser> direct3d_;
};
