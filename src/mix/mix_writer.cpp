#include <algorithm>
#include <cstring>
#include <limits>

#include "mix/archive_output.h"
#include "mix/mix_error.h"
#include "mix/mix_file.h"
#include "platform/file_system.h"

namespace {

constexpr std::uint64_t kMaxOffset = std::numeric_limits<std::uint32_t>::max();

std::string SourceOf(const MixArchiveEntry& entry, const std::string& fallback) {
    if (const auto* fromFile = dynamic_cast<const MixArchiveEntryFile*>(&entry)) {
        return fromFile->stream.file->path();
    }
    return fallback;
}

// Past the last of the entries from first on that lie back to back in one archive file,
// each followed by its fill: they are written as one run.
std::size_t RunEnd(const std::vector<MixArchiveEntry*>& entries, std::size_t first) {
    const auto inFile = [](const MixArchiveEntry* entry) -> const FileStream* {
        const auto* fromFile = dynamic_cast<const MixArchiveEntryFile*>(entry);
        return fromFile == nullptr ? nullptr : &fromFile->stream;
    };
    const FileStream* previous = inFile(entries[first]);
    std::size_t end = first + 1;
    if (previous == nullptr) return end;
    for (; end < entries.size(); ++end) {
        const FileStream* next = inFile(entries[end]);
        if (next == nullptr || next->file != previous->file ||
            next->start !=
                std::uint64_t{previous->start} + previous->length + FillAfter(previous->length)) {
            break;
        }
        previous = next;
    }
    return end;
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
        body += std::uint64_t{entry->size} + FillAfter(entry->size);
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
    for (std::size_t first = 0; first < entries.size();) {
        const std::size_t end = RunEnd(entries, first);
        std::uint64_t delivered = 0;
        if (end - first == 1) {
            delivered = writer.Entry(*entries[first]);
        } else {
            delivered = writer.Run(&entries[first], end - first);
        }
        if (std::ferror(out)) writer.Fail();
        std::uint64_t at = 0;  // the entry's place in what was delivered
        for (std::size_t i = first; i < end; ++i) {
            const MixArchiveEntry& entry = *entries[i];
            const std::uint64_t copied =
                delivered > at ? std::min<std::uint64_t>(delivered - at, entry.size) : 0;
            if (copied != entry.size) {
                throw MixFormatError(SourceOf(entry, outputName),
                                     "entry \"" + std::string(entry.name) + "\" delivered " +
                                         std::to_string(copied) + " of its " +
                                         std::to_string(entry.size) + " bytes");
            }
            at += std::uint64_t{entry.size} + FillAfter(entry.size);
            done += std::uint64_t{entry.size} + FillAfter(entry.size);
            if (progress) progress(done, body);
        }
        writer.Zeros(FillAfter(entries[end - 1]->size));
        first = end;
    }

    writer.LE32(static_cast<std::uint32_t>(count));
    std::uint32_t offset = 16;
    for (const MixArchiveEntry* entry : entries) {
        writer.LE32(entry->id);
        writer.LE32(offset);
        writer.LE32(entry->size);
        offset += entry->size + FillAfter(entry->size);
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
