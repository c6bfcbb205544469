#include "zip_writer.h"

#include <zip.h>

#include <algorithm>
#include <memory>

#include "publisher.h"

namespace fs = std::filesystem;

namespace {

// 1980-01-01 00:00 in the zip format's DOS date and time.
constexpr zip_uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;
constexpr zip_uint16_t kDosTime = 0;
constexpr zip_uint32_t kRegularFileMode = 0100644;

}  // namespace

void WriteZip(const fs::path& zipPath, std::vector<ZipMember> members) {
    int error = 0;
    zip_t* raw = zip_open(zipPath.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (raw == nullptr) throw PublishError("cannot create " + zipPath.string());
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(raw, &zip_discard);
    std::sort(members.begin(), members.end(),
              [](const ZipMember& a, const ZipMember& b) { return a.name < b.name; });
    for (const ZipMember& member : members) {
        const std::string source = member.source.string();
        const std::string& name = member.name;
        zip_source_t* data = zip_source_file(archive.get(), source.c_str(), 0, -1);
        if (data == nullptr) throw PublishError("cannot read " + source);
        const zip_int64_t index = zip_file_add(archive.get(), name.c_str(), data, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(data);
            throw PublishError("cannot add " + name + " to " + zipPath.string());
        }
        const auto at = static_cast<zip_uint64_t>(index);
        if (zip_file_set_dostime(archive.get(), at, kDosTime, kDosDate, 0) != 0 ||
            zip_file_set_external_attributes(archive.get(), at, 0, ZIP_OPSYS_UNIX,
                                             kRegularFileMode << 16) != 0) {
            throw PublishError("cannot set the attributes of " + name + " in " + zipPath.string());
        }
    }
    if (zip_close(archive.get()) != 0) {
        throw PublishError("cannot write " + zipPath.string() + ": " + zip_strerror(archive.get()));
    }
    archive.release();
}

void WriteZip(const fs::path& zipPath, const fs::path& sourceDir,
              const std::vector<std::string>& names) {
    std::vector<ZipMember> members;
    for (const std::string& name : names) members.push_back({name, sourceDir / fs::u8path(name)});
    WriteZip(zipPath, std::move(members));
}
