#include "platform/win32/direct3d_display_modes.h"

#include <d3d9.h>

void Direct3DDisplayModes::Releaser::operator()(IDirect3D9* direct3d) const { direct3d->Release(); }

Direct3DDisplayModes::Direct3DDisplayModes() : direct3d_(Direct3DCreate9(D3D_SDK_VERSION)) {}

Direct3DDisplayModes::~Direct3DDisplayModes() = default;

std::vector<AdapterMode> Direct3DDisplayModes::Modes(std::uint32_t format) {
    std::vector<AdapterMode> modes;
    if (!direct3d_) return modes;
    const auto d3dFormat = static_cast<D3DFORMAT>(format);
    const UINT count = direct3d_->GetAdapterModeCount(D3DADAPTER_DEFAULT, d3dFormat);
    for (UINT number = 0; number < count; ++number) {
        D3DDISPLAYMODE mode{};
        if (FAILED(direct3d_->EnumAdapterModes(D3DADAPTER_DEFAULT, d3dFormat, number, &mode))) {
            continue;
        }
        modes.push_back({mode.Width, mode.Height, mode.RefreshRate});
    }
    return modes;
}
