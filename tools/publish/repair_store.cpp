#include "repair_store.h"

#include <zip.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "hash/sha256.h"
#include "platform/file_io.h"
#include "update/documents.h"
#include "update/update_error.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kProblemsShown = 3;

fs::path ObjectName(const std::string& hash) {
    return fs::path("launcher") / "store" / hash.substr(0, 2) / (hash + ".zip");
}

// A manifest is read from the server's disk; only a real hash may become a path.
bool IsHash(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

// Why object cannot give back the file it is named after (empty when it can), reading
// its entry through and, when copy is given, into it.
std::string ObjectFault(const fs::path& object, const std::string& hash,
                        std::optional<std::uint64_t> size, std::FILE* copy = nullptr) {
    if (!fs::is_regular_file(object)) return "is missing";
    int error = 0;
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(
        zip_open(object.string().c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error), &zip_discard);
    if (!archive) return "is not a readable zip";
    const char* name = zip_get_name(archive.get(), 0, ZIP_FL_ENC_RAW);
    if (zip_get_num_entries(archive.get(), 0) != 1 || name == nullptr || hash != name)
        return "does not hold exactly one entry, named as the object";
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> entry(zip_fopen_index(archive.get(), 0, 0),
                                                            &zip_fclose);
    if (!entry) return std::string("cannot be read: ") + zip_strerror(archive.get());
    Sha256 digest;
    std::uint64_t count = 0;
    std::vector<unsigned char> buffer(1 << 20);
    zip_int64_t got = 0;
    while ((got = zip_fread(entry.get(), buffer.data(), buffer.size())) > 0) {
        const auto bytes = static_cast<std::size_t>(got);
        digest.Update(buffer.data(), bytes);
        count += static_cast<std::uint64_t>(got);
        if (copy != nullptr && std::fwrite(buffer.data(), 1, bytes, copy) != bytes)
            return "cannot be copied out";
    }
    if (got < 0) return std::string("cannot be read: ") + zip_file_strerror(entry.get());
    if (size && count != *size) {
        return "holds " + std::to_string(count) + " bytes where the manifest lists " +
               std::to_string(*size);
    }
    if (ToUpperHex(digest.Final()) != hash) return "holds bytes of another SHA-256";
    return {};
}

std::string FirstFew(const std::vector<std::string>& problems) {
    std::string text;
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i)
        text += (i == 0 ? "" : "; ") + problems[i];
    if (problems.size() > kProblemsShown)
        text += "; and " + std::to_string(problems.size() - kProblemsShown) + " more";
    return text;
}

}  // namespace

fs::path StoreObject(const fs::path& root, const std::string& hash) {
    return root / ObjectName(hash);
}

bool CopyFromStore(const fs::path& root, const std::string& hash, const fs::path& destination) {
    if (!IsHash(hash)) return false;
    UniqueFile copy = OpenFile(destination.u8string(), "wb");
    bool copied =
        copy && ObjectFault(StoreObject(root, hash), hash, std::nullopt, copy.get()).empty();
    if (copy && std::fclose(copy.release()) != 0) copied = false;
    std::error_code ignored;
    if (!copied) fs::remove(destination, ignored);
    return copied;
}

ChainReport VerifyStore(const std::string& root) {
    ChainReport report;
    report.chain = "store";
    const fs::path launcherDir = fs::path(root) / "launcher";
    // One line for a tree published before the store existed, rather than every file.
    if (!fs::is_directory(launcherDir / "store")) {
        report.message = "launcher/store is missing: the tree was published without a repair store";
        return report;
    }
    struct Wanted {
        std::string where;
        std::optional<std::uint64_t> size;
    };
    std::map<std::string, Wanted> wanted;  // by hash: each object is read once
    std::vector<std::string> problems;
    try {
        const VersionCatalogue catalogue =
            LoadVersionCatalogue((launcherDir / "versions.xml").string(), "versions.xml");
        for (const CatalogueVersion& version : catalogue.versions) {
            const std::string label = "manifest.validate.xml of version " + version.value;
            ValidationList listed;
            try {
                listed = LoadValidationManifest(
                    (launcherDir / fs::u8path(version.value) / "manifest.validate.xml").string(),
                    label);
            } catch (const InstallError& error) {
                problems.push_back(error.what());
                continue;
            }
            for (const auto& [name, file] : listed) {
                const std::string where = name + " of version " + version.value;
                if (!IsHash(file.checksum)) {
                    problems.push_back(label + " gives " + name + " no SHA-256");
                    continue;
                }
                Wanted& entry =
                    wanted.try_emplace(file.checksum, Wanted{where, file.size}).first->second;
                if (!entry.size) entry.size = file.size;
            }
        }
    } catch (const InstallError& error) {
        problems.push_back(error.what());
    }
    for (const auto& [hash, want] : wanted) {
        const std::string fault = ObjectFault(fs::path(root) / ObjectName(hash), hash, want.size);
        if (fault.empty()) continue;
        problems.push_back(ObjectName(hash).generic_string() + " for " + want.where + " " + fault);
    }
    report.ok = problems.empty();
    report.message = FirstFew(problems);
    return report;
}
