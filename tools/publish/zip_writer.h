// The zips of a publish, written together: each file is read and compressed once, by
// the workers, chunk by chunk (deflate_chunk.h), and its entry goes under every name it
// has in any of the archives (a package and a store object). An entry is deflated, or
// stored when its start does not shrink; either way its bytes depend on the file alone,
// so the same files always give the same zips, whatever the number of workers.
// At most a few chunks a worker are in memory at a time, however large the files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "publish_progress.h"
#include "work_pool.h"

class ZipBatch {
public:
    struct Copy {
        std::size_t archive;  // as AddArchive numbered it
        std::string name;
    };

    // An archive (see zip_archive_writer.h) holding, in the order they are added, the
    // entries that name it.
    std::size_t AddArchive(std::filesystem::path path);
    // source must still hold size bytes when it is read.
    void AddEntry(std::filesystem::path source, std::uint64_t size, std::vector<Copy> copies);
    bool empty() const { return archives_.empty(); }

    // Raises PublishError naming a file that cannot be read or changes size meanwhile,
    // or an archive that cannot be written. Archives finished before then stay.
    void Write(WorkPool& pool, const ProgressSink& progress) const;

private:
    struct Entry {
        std::filesystem::path source;
        std::uint64_t size;
        std::vector<Copy> copies;
    };
    std::vector<std::filesystem::path> archives_;
    std::vector<Entry> entries_;
};
