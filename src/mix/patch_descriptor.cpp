#include "mix/patch_descriptor.h"

#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "mix/mix_error.h"

bool NamesMatch(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (FoldedAscii(*a) != FoldedAscii(*b)) return false;
        if (*a == '\0') return true;
    }
}

bool IsDescriptorName(const char* name) {
    for (const char* descriptorName : kDescriptorNames) {
        if (NamesMatch(name, descriptorName)) return true;
    }
    return false;
}

MixArchiveEntry* FindDescriptorEntry(const MixFile& patch) {
    for (MixArchiveEntry* entry : patch.entries) {
        if (IsDescriptorName(entry->name)) return entry;
    }
    return nullptr;
}

std::string ReadDescriptorText(MixArchiveEntry& entry) {
    std::string buffer(entry.size, '\0');
    const std::int32_t n = entry.GetStream()->Read(buffer.data(), entry.size);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    const std::size_t nul = buffer.find('\0');
    if (nul != std::string::npos) buffer.resize(nul);
    return buffer;
}

PatchDescriptor ParsePatchDescriptor(const std::string& text, const std::string& origin) {
    // Reading from a stream parses one value and leaves whatever follows it alone.
    std::istringstream in(text);
    nlohmann::json document;
    in >> document;
    PatchDescriptor descriptor;
    if (document.is_object() && document.contains("version")) {
        const nlohmann::json& version = document["version"];
        if (!version.is_number_integer() || version.get<std::int64_t>() < 1 ||
            version.get<std::int64_t>() > kPatchFormatVersion) {
            throw MixFormatError(origin, "the patch is of format version " + version.dump() +
                                             ", which this program does not know (it knows 1 to " +
                                             std::to_string(kPatchFormatVersion) + ")");
        }
        descriptor.version = version.get<int>();
    }
    descriptor.removedFiles = document.at("removedFiles").get<std::vector<std::string>>();
    descriptor.updatedFiles = document.at("updatedFiles").get<std::vector<std::string>>();
    if (descriptor.version >= 2 && document.contains("deltaFiles")) {
        descriptor.deltaFiles = document["deltaFiles"].get<std::vector<std::string>>();
        const nlohmann::json& sizes = document.at("deltaSizes");
        if (!sizes.is_array() || sizes.size() != descriptor.deltaFiles.size())
            throw MixFormatError(origin, "the patch gives no size for each entry it rebuilds");
        for (const nlohmann::json& size : sizes) {
            if (!size.is_number_unsigned() ||
                size.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max())
                throw MixFormatError(origin, "the patch gives a size an entry cannot have");
            descriptor.deltaSizes.push_back(size.get<std::uint32_t>());
        }
    }
    return descriptor;
}

std::string PatchDescriptorText(const PatchDescriptor& descriptor) {
    nlohmann::json document{{"removedFiles", descriptor.removedFiles},
                            {"updatedFiles", descriptor.updatedFiles}};
    if (!descriptor.deltaFiles.empty()) {
        document["version"] = 2;
        document["deltaFiles"] = descriptor.deltaFiles;
        document["deltaSizes"] = descriptor.deltaSizes;
    }
    return document.dump();
}
