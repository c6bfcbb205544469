#include "platform/downloader.h"

#include <stdexcept>

namespace {
Downloader* installed = nullptr;
}

void SetDownloader(Downloader* downloader) { installed = downloader; }

Downloader& Net() {
    if (installed == nullptr) throw std::logic_error("no downloader installed");
    return *installed;
}
