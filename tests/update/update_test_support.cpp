#include "update/update_test_support.h"

#include <zip.h>

#include <filesystem>

#include "mix/mix_file.h"
#include "publisher.h"
#include "update/web_servers.h"

namespace fs = std::filesystem;

void WriteTree(const std::string& directory, const Tree& files) {
    for (const auto& [name, data] : files) {
        const fs::path path = fs::path(directory) / name;
        fs::create_directories(path.parent_path());
        WriteBytes(path.string(), data);
    }
}

Tree ReadTree(const std::string& directory) {
    Tree files;
    if (!fs::exists(directory)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        if (entry.is_regular_file()) {
            files[entry.path().lexically_relative(directory).generic_string()] =
                ReadBytes(entry.path().string());
        }
    }
    return files;
}

void WriteZip(const std::string& path, const std::vector<ZipEntrySpec>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const ZipEntrySpec& entry : entries) {
        zip_int64_t index;
        if (entry.directory) {
            index = zip_dir_add(archive, entry.name.c_str(), 0);
        } else {
            // libzip copies nothing until close, so the data must outlive this loop.
            zip_source_t* source =
                zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
            index = zip_file_add(archive, entry.name.c_str(), source, 0);
            ASSERT_GE(index, 0) << zip_strerror(archive);
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                     entry.deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        }
        ASSERT_GE(index, 0) << zip_strerror(archive);
        if (entry.symbolicLink) {
            zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0,
                                             ZIP_OPSYS_UNIX, 0120777u << 16);
        }
        if (entry.dosDirectory) {
            zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0,
                                             ZIP_OPSYS_DOS, 0x10);
        }
    }
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

std::string WrittenMix(const std::vector<std::pair<std::string, std::string>>& entries) {
    TempDir scratch;
    MixFile archive;
    std::vector<MixArchiveEntry*> list;
    std::uint32_t id = 100;
    for (const auto& [name, data] : entries) {
        list.push_back(new MixArchiveEntryMemory(name, id++, data));
        MixEntryRegistry().push_back(list.back());
    }
    archive.ReplaceFiles(list);
    WriteMixFileTo(archive, scratch.File("out.mix"));
    ReleaseMixEntries();
    return ReadBytes(scratch.File("out.mix"));
}

void UpdateTest::SetUp() {
    fs::create_directories(LauncherFolder());
    fs::create_directories(InstallDir());
    net.Map(LauncherServerBaseUrl(), LauncherFolder());
    net.Map(UpdateServerBaseUrl(), temp.File("server/update"));
    net.Map(RuntimeDownloadBaseUrl(), temp.File("server/runtime"));
    SetDownloader(&net);
    SetStatusSink(&status);
    SetProcessRunner(&runner);
}

void UpdateTest::TearDown() {
    SetDownloader(nullptr);
    SetStatusSink(nullptr);
    SetProcessRunner(nullptr);
}

void UpdateTest::Publish(const std::string& version, const Tree& files, bool full) {
    const std::string build = temp.File("builds/" + version);
    fs::create_directories(build);
    WriteTree(build, files);
    AddVersion(ServerRoot(), version, build, full);
}

std::string UpdateTest::VersionUrl(const std::string& version) const {
    return LauncherServerBaseUrl() + version + "/";
}

std::vector<std::string> UpdateTest::TakeTexts() {
    std::vector<std::string> texts;
    texts.swap(status.texts);
    return texts;
}
