#include "platform/confined_name.h"

#include <cstdint>
#include <vector>

#include "platform/path.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Decodes UTF-8; false for overlong forms, surrogates and values past U+10FFFF, which
// no wide name can hold.
bool DecodeUtf8(const std::string& text, std::vector<std::uint32_t>& points) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t point = 0;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            point = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            point = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = point << 6 | (next & 0x3F);
        }
        static const std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        points.push_back(point);
        i += length;
    }
    return true;
}

void AppendUtf8(std::uint32_t point, std::string& text) {
    if (point < 0x80) {
        text += static_cast<char>(point);
    } else if (point < 0x800) {
        text += static_cast<char>(0xC0 | point >> 6);
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        text += static_cast<char>(0xE0 | point >> 12);
        text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | point >> 18);
        text += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// Upper case as NTFS compares names, for the scripts game files are named in: Latin,
// Greek and Cyrillic. Other scripts have no case, or are compared as they are.
std::uint32_t UpperCase(std::uint32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
        // Latin Extended-A pairs capitals and small letters, odd after even, except in
        // the runs 0x139-0x148 and 0x179-0x17E, where the small letter is the even one.
        const bool evenSmall = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return (c % 2 == (evenSmall ? 0 : 1)) ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

bool EqualsAscii(const std::string& upper, const char* word) { return upper == word; }

std::string AsciiUpper(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// Windows opens a device for its name with any extension, and with blanks before the dot.
bool IsDeviceName(const std::string& component) {
    std::string base = AsciiUpper(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsAscii(base, device)) return true;
    }
    if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0) return false;
    const std::string digit = base.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

std::string ComponentRefusal(const std::string& component) {
    if (component.empty()) return "has an empty component";
    if (component == "." || component == "..") return "has a \"" + component + "\" component";
    if (component.size() > kMaxComponentBytes) return "has a component longer than 255 bytes";
    if (component.back() == '.' || component.back() == ' ')
        return "has a component ending in a dot or a space";
    if (IsDeviceName(component)) return "names a Windows device (" + component + ")";
    return "";
}

}  // namespace

ConfinedName ConfineName(const std::string& root, const std::string& name) {
    ConfinedName result;
    std::vector<std::uint32_t> points;
    if (name.empty()) {
        result.refusal = "is empty";
    } else if (name.size() > kMaxNameBytes) {
        result.refusal = "is longer than " + std::to_string(kMaxNameBytes) + " bytes";
    } else if (!DecodeUtf8(name, points)) {
        result.refusal = "is not valid UTF-8";
    } else if (IsSeparator(name.front())) {
        result.refusal = "is an absolute path";
    } else if (name.find(':') != std::string::npos) {
        result.refusal = "holds a \":\" (a drive or a stream)";
    }
    for (std::uint32_t c : points) {
        if (!result.ok()) break;
        if (c < 0x20 || c == 0x7F) result.refusal = "holds a control character";
        for (char bad : std::string("<>\"|?*")) {
            if (c == static_cast<unsigned char>(bad)) {
                result.refusal = std::string("holds a \"") + bad + "\"";
            }
        }
    }
    if (!result.ok()) return result;

    result.path = root;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        const std::string component = name.substr(start, end - start);
        result.refusal = ComponentRefusal(component);
        if (!result.ok()) {
            result.path.clear();
            return result;
        }
        result.path += kPathSeparator;
        result.path += component;
        if (end == name.size()) return result;
        start = end + 1;
    }
}

std::string FoldName(const std::string& name) {
    std::vector<std::uint32_t> points;
    if (!DecodeUtf8(name, points)) return name;
    std::string folded;
    for (std::uint32_t c : points) AppendUtf8(c == '\\' ? '/' : UpperCase(c), folded);
    return folded;
}

std::string NameClaims::Claim(const std::string& name, bool directory) {
    std::string normalised = name;
    for (char& c : normalised) {
        if (c == '\\') c = '/';
    }
    for (std::size_t slash = normalised.find('/'); slash != std::string::npos;
         slash = normalised.find('/', slash + 1)) {
        if (std::string clash = ClaimOne(normalised.substr(0, slash), true); !clash.empty())
            return clash;
    }
    return ClaimOne(normalised, directory);
}

std::string NameClaims::ClaimOne(const std::string& name, bool directory) {
    const auto [claim, fresh] = claims_.try_emplace(FoldName(name), name, directory);
    if (fresh) return "";
    const auto& [earlier, earlierDirectory] = claim->second;
    return directory && earlierDirectory && earlier == name ? "" : earlier;
}
