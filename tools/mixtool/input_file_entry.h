// An archive entry whose data is a whole file on disk, for building archives.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "mix/mix_file.h"

// The file is opened only while the entry is being streamed, and closed as soon as
// another entry of this kind is streamed, so archives of any number of files can be
// built without running into the limit on open files. A stream obtained earlier is
// therefore valid only until the next entry's GetStream.
class InputFileEntry final : public MixArchiveEntry {
public:
    InputFileEntry(const std::string& name, std::uint32_t id, std::uint32_t size, std::string path)
        : InputFileEntry(MakeEntryName(name), id, size, std::move(path)) {}
    ~InputFileEntry() override;

    Stream* GetStream() override;

private:
    InputFileEntry(std::unique_ptr<char[]> name, std::uint32_t id, std::uint32_t size,
                   std::string path)
        : MixArchiveEntry(name.get(), id, size),
          ownName_(std::move(name)),
          path_(std::move(path)) {}

    std::unique_ptr<char[]> ownName_;
    std::string path_;
    std::optional<ArchiveHandle> file_;
    std::optional<FileStream> stream_;
};
