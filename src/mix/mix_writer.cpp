#include <cstring>
#include <limits>

#include "mix/archive_output.h"
#include "mix/mix_error.h"
#include "mix/mix_file.h"
#include "platform/file_system.h"

namespace {

constexpr std::uint64_t kMaxOffset = std::numeric_limits<std::uint32_t>::max();

std::uint32_t Fill(std::uint32_t size) { return (0u - size) % 8u; }

std::string SourceOf(const MixArchiveEntry& entry, const std::string& fallback) {
    if (const auto* fromFile = dynamic_cast<const MixArchiveEntryFile*>(&entry)) {
        return fromFile->stream.file->path();
    }
    return fallback;
}

}  // namespace

void MixFile::Write(std::FILE* out, const std::string& outputName,
                    const WriteProgress& progress) const {
    // Everything that would make the layout unrepresentable is refused before the
    // first byte is written.
    std::uint64_t body = 0;
    for (const MixArchiveEntry* entry : entries) {
        const std::size_t length = std::strlen(entry->name);
        if (length >= 255) {
            throw MixLimitError(outputName,
                                "entry name of " + std::to_string(length) +
                                    " bytes is longer than the 254 a name record holds");
        }
        body += std::uint64_t{entry->size} + Fill(entry->size);
    }
    const std::uint64_t count = entries.size();
    const std::uint64_t namesOffset = 16 + body + 4 + 12 * count;
    if (count > kMaxOffset || namesOffset > kMaxOffset) {
        throw MixLimitError(outputName, "archive of " + std::to_string(count) + " entries and " +
                                            std::to_string(body) +
                                            " body bytes exceeds the format's 4 GiB offsets");
    }

    ArchiveOutput writer(out, outputName);
    writer.LE32(magic);
    writer.LE32(static_cast<std::uint32_t>(16 + body));
    writer.LE32(static_cast<std::uint32_t>(namesOffset));
    writer.LE32(0);

    std::uint64_t done = 0;
    for (MixArchiveEntry* entry : entries) {
        const std::uint64_t copied = writer.Entry(*entry);
        if (std::ferror(out)) writer.Fail();
        if (copied != entry->size) {
            throw MixFormatError(SourceOf(*entry, outputName),
                                 "entry \"" + std::string(entry->name) + "\" delivered " +
                                     std::to_string(copied) + " of its " +
                                     std::to_string(entry->size) + " bytes");
        }
        writer.Zeros(Fill(entry->size));
        done += std::uint64_t{entry->size} + Fill(entry->size);
        if (progress) progress(done, body);
    }

    writer.LE32(static_cast<std::uint32_t>(count));
    std::uint32_t offset = 16;
    for (const MixArchiveEntry* entry : entries) {
        writer.LE32(entry->id);
        writer.LE32(offset);
        writer.LE32(entry->size);
        offset += entry->size + Fill(entry->size);
    }

    writer.LE32(static_cast<std::uint32_t>(count));
    for (const MixArchiveEntry* entry : entries) {
        const std::size_t length = std::strlen(entry->name) + 1;
        const unsigned char lengthByte = static_cast<unsigned char>(length);
        writer.Bytes(&lengthByte, 1);
        writer.Bytes(entry->name, length);
    }
    writer.Flush();
}

std::string WriteMixFileBeside(const MixFile& archive, const std::string& outputPath,
                               const WriteProgress& progress) {
    const std::string temporary = outputPath + ".part";
    UniqueFile out = OpenFile(temporary, "wb");
    if (!out) {
        throw MixIoError(outputPath, "cannot create " + temporary + ": " + LastErrorText());
    }
    // The writer gathers its own writes; a stdio buffer would only split them.
    std::setvbuf(out.get(), nullptr, _IONBF, 0);
    try {
        archive.Write(out.get(), outputPath, progress);
        if (std::fflush(out.get()) != 0 || std::ferror(out.get())) {
            throw MixIoError(outputPath, "write failed: " + LastErrorText());
        }
        if (std::fclose(out.release()) != 0) {
            throw MixIoError(outputPath, "write failed on close: " + LastErrorText());
        }
    } catch (...) {
        out.reset();
        RemoveFileIfPresent(temporary);
        throw;
    }
    return temporary;
}

void WriteMixFileTo(const MixFile& archive, const std::string& outputPath,
                    const WriteProgress& progress) {
    ReplaceFileWith(WriteMixFileBeside(archive, outputPath, progress), outputPath);
}
