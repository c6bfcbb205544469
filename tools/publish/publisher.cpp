#include "publisher.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "build_scan.h"
#include "delta/delta_file.h"
#include "hash/sha256.h"
#include "mix/mix_diff.h"
#include "mix/mix_error.h"
#include "mix/mix_file.h"
#include "mix/mix_patcher.h"
#include "platform/confined_name.h"
#include "platform/downloader.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/folder_downloader.h"
#include "platform/path.h"
#include "platform/process_runner.h"
#include "platform/status_sink.h"
#include "repair_store.h"
#include "update/documents.h"
#include "update/install_layout.h"
#include "update/install_version.h"
#include "update/self_update.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/update_flow.h"
#include "update/validation.h"
#include "update/web_servers.h"
#include "update/zip_extract.h"
#include "work_pool.h"
#include "zip_writer.h"

namespace fs = std::filesystem;

namespace {

class NoProcesses final : public ProcessRunner {
public:
    ProcessStart Start(const ProcessLaunch&) override { return false; }
};

// Points the engine at the tree for as long as it lives, then puts back what was there.
class TreeServer {
public:
    // Without the store, a replay cannot repair what a package got wrong, so it proves
    // the packages themselves.
    enum class Store { kServed, kHidden };
    explicit TreeServer(const std::string& root, Store store = Store::kServed)
        : previousStatus_(&Status()) {
        try {
            previousDownloader_ = &Net();
        } catch (const std::logic_error&) {
        }
        try {
            previousProcesses_ = &Processes();
        } catch (const std::logic_error&) {
        }
        downloader_.Map(LauncherServerBaseUrl(), (fs::path(root) / "launcher").string());
        downloader_.Map(UpdateServerBaseUrl(), (fs::path(root) / "update").string());
        if (store == Store::kHidden) {
            downloader_.Map(LauncherServerBaseUrl() + "store/", "/nonexistent-kestrava-store");
        }
        SetDownloader(&downloader_);
        SetProcessRunner(&processes_);
        SetStatusSink(nullptr);
    }
    ~TreeServer() {
        SetDownloader(previousDownloader_);
        SetProcessRunner(previousProcesses_);
        SetStatusSink(previousStatus_);
    }
    TreeServer(const TreeServer&) = delete;
    TreeServer& operator=(const TreeServer&) = delete;

private:
    FolderDownloader downloader_;
    NoProcesses processes_;
    Downloader* previousDownloader_ = nullptr;
    ProcessRunner* previousProcesses_ = nullptr;
    StatusSink* previousStatus_;
};

class ScratchDirectory {
public:
    ScratchDirectory() {
        std::random_device random;
        do {
            path_ = fs::temp_directory_path() / ("kestrava-publish-" + std::to_string(random()));
        } while (!fs::create_directories(path_));
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string str() const { return path_.string(); }
    fs::path path() const { return path_; }

private:
    fs::path path_;
};

// A folder made for a publish, removed again unless the publish gets through: a failed
// one can simply be run again.
class NewFolder {
public:
    explicit NewFolder(fs::path path) : path_(std::move(path)) { fs::create_directories(path_); }
    ~NewFolder() {
        std::error_code ignored;
        if (!kept_) fs::remove_all(path_, ignored);
    }
    NewFolder(const NewFolder&) = delete;
    NewFolder& operator=(const NewFolder&) = delete;
    void Keep() { kept_ = true; }

private:
    fs::path path_;
    bool kept_ = false;
};

std::string Sanitise(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    }
    return out;
}

bool EndsWithMix(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".mix";
}

void RequireVersionName(const std::string& version) {
    const bool usable = !version.empty() && version != "." && version != ".." &&
                        version.find_first_of("/\\:?#%\"<>| ") == std::string::npos;
    if (!usable)
        throw PublishError("\"" + version + "\" cannot name a version folder on the server");
    // Any case: a Windows server's file system would take "Store" for "store".
    std::string folded = version;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (folded == "store" || folded == "versions.xml" || folded == "servers.xml") {
        throw PublishError("\"" + version +
                           "\" cannot name a version: the launcher folder uses that name itself");
    }
}

void SaveDocument(tinyxml2::XMLDocument& document, const fs::path& path) {
    if (document.SaveFile(path.string().c_str()) != tinyxml2::XML_SUCCESS) {
        throw PublishError("cannot write " + path.string());
    }
}

tinyxml2::XMLElement* AddFile(tinyxml2::XMLDocument& document, tinyxml2::XMLElement* manifest,
                              const std::string& package, const std::string& name,
                              const std::string& checksum) {
    tinyxml2::XMLElement* file = document.NewElement("File");
    file->SetAttribute("package", package.c_str());
    file->SetAttribute("name", name.c_str());
    file->SetAttribute("checksum", checksum.c_str());
    manifest->InsertEndChild(file);
    return file;
}

std::string WholePackageOf(const std::string& name) {
    const auto slash = name.find('/');
    return slash == std::string::npos ? "files" : "files-" + Sanitise(name.substr(0, slash));
}

std::string FlatName(const std::string& name) {
    std::string flat = name;
    std::replace(flat.begin(), flat.end(), '/', '.');
    return Sanitise(flat);
}

std::string PatchPackageOf(const std::string& name) { return "patch-" + FlatName(name); }

// What the launcher writes on a player's disk must be names Windows holds, no two of
// them one file there: the build's files, and the packages the tree will hold (those of
// the files that changed, and the patch packages a changed archive may take).
void RefuseNamesWindowsCannotHold(const BuildFiles& previous, const BuildFiles& current,
                                  bool deltas) {
    std::vector<std::string> faults;
    NameClaims files;
    for (const auto& [name, file] : current) {
        const ConfinedName confined = ConfineName("game", name);
        if (!confined.ok()) {
            faults.push_back("\"" + name + "\" " + confined.refusal);
        } else if (const std::string earlier = files.Claim(name); !earlier.empty()) {
            faults.push_back("\"" + earlier + "\" and \"" + name + "\" are one file on Windows");
        }
    }
    // Folded package name to the package and the file that gives it.
    std::map<std::string, std::pair<std::string, std::string>> packages;
    const auto claim = [&](const std::string& package, const std::string& name, bool whole) {
        const auto [at, fresh] = packages.try_emplace(FoldName(package), package, name);
        // Files of one folder share their package; nothing else may.
        if (fresh || (whole && at->second.first == package)) return;
        faults.push_back("the packages of \"" + at->second.second + "\" and \"" + name + "\" (" +
                         at->second.first + ", " + package + ") are one file on Windows");
    };
    for (const auto& [name, file] : current) {
        const auto before = previous.find(name);
        if (before != previous.end() && before->second.checksum == file.checksum) continue;
        claim(WholePackageOf(name), name, true);
        if (before != previous.end() && (deltas || EndsWithMix(name)))
            claim(PatchPackageOf(name), name, false);
    }
    if (faults.empty()) return;
    std::string message = "the build holds names Windows cannot hold";
    for (const std::string& fault : faults) message += "\n  " + fault;
    throw PublishError(message);
}

VersionCatalogue ReadCatalogue(const fs::path& path) {
    if (!fs::exists(path)) return {};
    try {
        return LoadVersionCatalogue(path.string(), path.string());
    } catch (const InstallError& error) {
        throw PublishError(error.what());
    }
}

// Makes a patch archive from oldArchive to newArchive, as `mixtool diff` does. A patch
// rebuilds entries, not bytes: it is kept only when patching reproduces newArchive
// exactly (its checksum), which holds for archives written by our own writer.
bool MakePatch(const fs::path& oldArchive, const fs::path& newArchive, const std::string& checksum,
               const fs::path& patch, const MixDiffOptions& options) {
    const fs::path trial = patch.string() + ".trial";
    std::error_code ignored;
    try {
        DiffMixArchives(oldArchive.string(), newArchive.string(), patch.string(), options);
        ReleaseMixEntries();
        PatchMixFile(oldArchive.string(), trial.string(), patch.string());
        const bool exact = FileHash(trial) == checksum;
        fs::remove(trial, ignored);
        if (!exact) fs::remove(patch, ignored);
        return exact;
    } catch (const MixError&) {
    } catch (const nlohmann::json::exception&) {
    }
    ReleaseMixEntries();
    fs::remove(trial, ignored);
    fs::remove(patch, ignored);
    return false;
}

// Makes the delta from oldFile to newFile and keeps it when it pays; applying it once
// proves it, as the launcher will (the reader checks the SHA-256 it promises).
bool MakeFileDelta(const fs::path& oldFile, const fs::path& newFile, const fs::path& delta,
                   const DeltaOptions& options) {
    const std::optional<std::string> before = ReadFileBytes(oldFile.u8string());
    const std::optional<std::string> after = ReadFileBytes(newFile.u8string());
    if (!before || !after)
        throw PublishError("cannot read " + newFile.u8string() + " or its previous copy");
    const std::string bytes = MakeDelta(*before, *after, options);
    if (!DeltaPays(*after, bytes)) return false;
    WriteWholeFile(delta.u8string(), bytes);
    const fs::path trial = delta.string() + ".trial";
    ApplyDeltaFile(oldFile.u8string(), delta.u8string(), trial.u8string());
    fs::remove(trial);
    return true;
}

// The version a patch publish starts from: what its files are, and copies of those a
// patch is made against.
class PreviousBuild {
public:
    PreviousBuild(const std::string& root, const CatalogueVersion& version, const fs::path& scratch,
                  WorkPool& pool, const PublishOptions& options)
        : root_(root), version_(version.value), scratch_(scratch) {
        if (options.replayPrevious) {
            Replay();
            files_ = ScanBuild(replayed_, pool, options.progress);
            return;
        }
        const fs::path list =
            fs::path(root) / "launcher" / fs::u8path(version_) / "manifest.validate.xml";
        const std::string label = "manifest.validate.xml of version " + version_;
        // The list stands for the version only while it is the one the catalogue names.
        if (!FileMatches(list.u8string(), version.validationList)) {
            throw PublishError(label + " is not the one versions.xml records; verify the tree");
        }
        try {
            for (const auto& [name, listed] : LoadValidationManifest(list.u8string(), label))
                files_[name] = {listed.checksum, listed.size.value_or(0)};
        } catch (const InstallError& error) {
            throw PublishError(error.what());
        }
    }

    const BuildFiles& files() const { return files_; }

    // The previous version's copy of the file name: out of the store, checked, or out of
    // a replay when the store cannot give it.
    fs::path Copy(const std::string& name) {
        if (replayed_.empty()) {
            const fs::path copy = scratch_ / "previous-copies" / fs::u8path(name);
            fs::create_directories(copy.parent_path());
            if (CopyFromStore(root_, files_.at(name).checksum, copy)) return copy;
            Replay();
        }
        return replayed_ / fs::u8path(name);
    }

private:
    void Replay() {
        replayed_ = scratch_ / "previous";
        fs::create_directories(replayed_);
        ReplayVersion(root_, version_, replayed_.string());
    }

    std::string root_;
    std::string version_;
    fs::path scratch_;
    fs::path replayed_;  // empty until replayed
    BuildFiles files_;
};

}  // namespace

void ReplayVersion(const std::string& root, const std::string& version,
                   const std::string& gameDirectory) {
    const VersionCatalogue catalogue = ReadCatalogue(fs::path(root) / "launcher" / "versions.xml");
    std::size_t end = 0;
    while (end < catalogue.versions.size() && catalogue.versions[end].value != version) ++end;
    if (end == catalogue.versions.size())
        throw PublishError("version " + version + " is not published");
    std::size_t start = 0;
    for (std::size_t i = 0; i <= end; ++i) {
        if (catalogue.versions[i].type == "Full") start = i;
    }
    TreeServer server(root);
    ScratchDirectory work;
    try {
        for (std::size_t i = start; i <= end; ++i) {
            const CatalogueVersion& entry = catalogue.versions[i];
            InstallVersion(gameDirectory, work.str(), entry, FetchManifest(work.str(), entry));
        }
        const std::string label = "manifest.validate.xml of version " + version;
        FetchOrFail(LauncherServerBaseUrl() + version + "/", work.str(), "manifest.validate.xml",
                    label);
        const std::string manifest = work.str() + kPathSeparator + "manifest.validate.xml";
        RequireSignedContent(manifest, catalogue.versions[end].validationList, label);
        const ValidationReport report = ValidateBuild(manifest, gameDirectory, label);
        if (!report.ok()) {
            throw PublishError(
                "version " + version +
                " does not validate when replayed from the tree: " + report.Describe());
        }
    } catch (const InstallError& error) {
        throw PublishError(std::string("replaying version ") + version + ": " + error.what());
    } catch (const ValidationError& error) {
        throw PublishError(std::string("replaying version ") + version + ": " + error.what());
    } catch (const FileSystemError& error) {
        throw PublishError(std::string("replaying version ") + version + ": " + error.what());
    }
}

void AddVersion(const std::string& root, const std::string& version, const std::string& buildDir,
                bool full, const PublishOptions& options) {
    RequireVersionName(version);
    if (!fs::is_directory(buildDir)) throw PublishError(buildDir + " is not a folder");
    const fs::path launcherDir = fs::path(root) / "launcher";
    const fs::path cataloguePath = launcherDir / "versions.xml";
    const fs::path versionDir = launcherDir / version;
    VersionCatalogue catalogue = ReadCatalogue(cataloguePath);
    for (const CatalogueVersion& published : catalogue.versions) {
        if (published.value == version)
            throw PublishError("version " + version + " is already published");
    }
    if (fs::exists(versionDir)) throw PublishError(versionDir.string() + " exists already");

    WorkPool pool(options.threads != 0 ? options.threads : DefaultPublishThreads());
    ScratchDirectory scratch;
    std::optional<PreviousBuild> previousBuild;
    if (!full && !catalogue.versions.empty())
        previousBuild.emplace(root, catalogue.versions.back(), scratch.path(), pool, options);
    const BuildFiles none;
    const BuildFiles& previous = previousBuild ? previousBuild->files() : none;
    const BuildFiles current = ScanBuild(buildDir, pool, options.progress);
    if (current.count("manifest.validate.xml") != 0)
        throw PublishError("the build holds manifest.validate.xml, a name the launcher reserves");
    RefuseNamesWindowsCannotHold(previous, current, options.deltas);

    NewFolder versionFolder(versionDir);
    tinyxml2::XMLDocument manifest;
    tinyxml2::XMLElement* manifestRoot = manifest.NewElement("Game_Manifest");
    manifest.InsertFirstChild(manifestRoot);
    for (const auto& [name, file] : previous) {
        if (current.count(name) == 0) AddFile(manifest, manifestRoot, "", name, "");
    }

    ZipBatch zips;
    const auto packageZip = [&](const std::string& package) {
        return zips.AddArchive(versionDir / (package + ".zip"));
    };
    std::set<std::string> stored;
    // Each distinct file once, and only where the store lacks it.
    const auto intoStore = [&](const BuildFile& file, std::vector<ZipBatch::Copy>& copies) {
        const fs::path object = StoreObject(root, file.checksum);
        if (!stored.insert(file.checksum).second || fs::exists(object)) return;
        fs::create_directories(object.parent_path());
        copies.push_back({zips.AddArchive(object), file.checksum});
    };

    // Diffing shows its progress by the changed files that have a previous copy.
    PublishProgress diffed;
    diffed.step = "diffing";
    for (const auto& [name, file] : current) {
        const auto before = previous.find(name);
        if (before == previous.end() || before->second.checksum == file.checksum) continue;
        if (options.deltas || EndsWithMix(name)) {
            ++diffed.totalFiles;
            diffed.totalBytes += file.size;
        }
    }
    const auto reportDiff = [&](std::uint64_t bytesInFile) {
        if (options.progress) {
            PublishProgress now = diffed;
            now.bytes += bytesInFile;
            options.progress(now);
        }
    };
    MixDiffOptions diffOptions;
    diffOptions.deltas = options.deltas;
    diffOptions.diffProgress = [&](std::uint64_t done, std::uint64_t) { reportDiff(done); };

    std::map<std::string, std::vector<std::string>> wholePackages;
    for (const auto& [name, file] : current) {
        const auto before = previous.find(name);
        if (before != previous.end() && before->second.checksum == file.checksum) continue;
        if (before != previous.end() && (options.deltas || EndsWithMix(name))) {
            const std::string package = PatchPackageOf(name);
            const fs::path copy = previousBuild->Copy(name);
            const fs::path built = fs::path(buildDir) / fs::u8path(name);
            // A patch file's name, clear of the build's own.
            const auto staged = [&](const char* suffix, std::string& patchName) {
                patchName = FlatName(name) + suffix;
                while (current.count(patchName) != 0) patchName = "_" + patchName;
                const fs::path path = scratch.path() / "patches" / patchName;
                fs::create_directories(path.parent_path());
                return path;
            };
            // An archive our writer did not lay out cannot be patched by entries, but a
            // delta rebuilds any file.
            std::string patchName;
            fs::path patchPath;
            bool patched = false;
            if (EndsWithMix(name)) {
                patchPath = staged(".patch", patchName);
                patched = MakePatch(copy, built, file.checksum, patchPath, diffOptions);
            }
            if (!patched && options.deltas) {
                patchPath = staged(".delta", patchName);
                patched = MakeFileDelta(copy, built, patchPath, diffOptions.delta);
            }
            ++diffed.files;
            diffed.bytes += file.size;
            reportDiff(0);
            if (patched) {
                zips.AddEntry(patchPath, fs::file_size(patchPath),
                              {{packageZip(package), patchName}});
                AddFile(manifest, manifestRoot, package, name, file.checksum)
                    ->SetAttribute("patch", patchName.c_str());
                continue;
            }
        }
        wholePackages[WholePackageOf(name)].push_back(name);
        AddFile(manifest, manifestRoot, WholePackageOf(name), name, file.checksum);
    }
    for (const auto& [package, names] : wholePackages) {
        const std::size_t zip = packageZip(package);
        for (const std::string& name : names) {
            std::vector<ZipBatch::Copy> copies{{zip, name}};
            intoStore(current.at(name), copies);
            zips.AddEntry(fs::path(buildDir) / fs::u8path(name), current.at(name).size,
                          std::move(copies));
        }
    }
    // What no package carries: files patched, or kept from a version published before
    // the store existed.
    for (const auto& [name, file] : current) {
        std::vector<ZipBatch::Copy> copies;
        intoStore(file, copies);
        if (!copies.empty())
            zips.AddEntry(fs::path(buildDir) / fs::u8path(name), file.size, std::move(copies));
    }
    // Objects and packages before any document: a publish killed meanwhile leaves only
    // files no manifest lists yet.
    zips.Write(pool, options.progress);
    SaveDocument(manifest, versionDir / "manifest.xml");

    tinyxml2::XMLDocument validation;
    tinyxml2::XMLElement* validationRoot = validation.NewElement("Game_Manifest");
    validation.InsertFirstChild(validationRoot);
    for (const auto& [name, file] : current) {
        tinyxml2::XMLElement* element = validation.NewElement("File");
        element->SetAttribute("name", name.c_str());
        element->SetAttribute("checksum", file.checksum.c_str());
        element->SetAttribute("size", std::to_string(file.size).c_str());
        validationRoot->InsertEndChild(element);
    }
    SaveDocument(validation, versionDir / "manifest.validate.xml");

    tinyxml2::XMLDocument versions;
    if (fs::exists(cataloguePath)) versions.LoadFile(cataloguePath.string().c_str());
    tinyxml2::XMLElement* versionsRoot = versions.FirstChildElement("Versions");
    if (versionsRoot == nullptr) {
        versionsRoot = versions.NewElement("Versions");
        versions.InsertEndChild(versionsRoot);
    }
    versionsRoot->SetAttribute("Current", version.c_str());
    tinyxml2::XMLElement* entry = versions.NewElement("Version");
    entry->SetAttribute("Value", version.c_str());
    entry->SetAttribute("Type", full ? "Full" : "Update");
    versionsRoot->InsertEndChild(entry);
    SaveDocument(versions, cataloguePath);
    versionFolder.Keep();
}

void PublishServers(const std::string& root,
                    const std::vector<std::pair<std::string, std::string>>& servers) {
    const fs::path launcherDir = fs::path(root) / "launcher";
    fs::create_directories(launcherDir);
    tinyxml2::XMLDocument document;
    tinyxml2::XMLElement* list = document.NewElement("Servers");
    document.InsertFirstChild(list);
    for (const auto& [name, address] : servers) {
        tinyxml2::XMLElement* server = document.NewElement("Server");
        server->SetAttribute("Name", name.c_str());
        server->SetAttribute("IP", address.c_str());
        list->InsertEndChild(server);
    }
    SaveDocument(document, launcherDir / "servers.xml");
}

void PublishLauncher(const std::string& root, const std::string& version,
                     const std::string& executable) {
    if (!LooksLikeWindowsExecutable(executable)) {
        throw PublishError(executable + " is not a Windows executable");
    }
    const fs::path updateDir = fs::path(root) / "update";
    fs::create_directories(updateDir);
    const fs::path published = updateDir / "launcher.exe";
    fs::copy_file(executable, published, fs::copy_options::overwrite_existing);
    tinyxml2::XMLDocument document;
    tinyxml2::XMLElement* release = document.NewElement("Version");
    release->SetAttribute("Current", version.c_str());
    release->SetAttribute("size", std::to_string(fs::file_size(published)).c_str());
    release->SetAttribute("sha256", FileHash(published).c_str());
    document.InsertFirstChild(release);
    SaveDocument(document, updateDir / "launcher.xml");
}

std::optional<ChainReport> VerifyLauncherRelease(const std::string& root) {
    const fs::path updateDir = fs::path(root) / "update";
    if (!fs::exists(updateDir / "launcher.xml")) return std::nullopt;
    ChainReport report;
    report.chain = "launcher";
    tinyxml2::XMLDocument document;
    const tinyxml2::XMLElement* release = nullptr;
    if (document.LoadFile((updateDir / "launcher.xml").string().c_str()) == tinyxml2::XML_SUCCESS)
        release = document.FirstChildElement("Version");
    if (release == nullptr) {
        report.message = "update/launcher.xml has no Version element";
        return report;
    }
    const char* size = release->Attribute("size");
    const char* sha256 = release->Attribute("sha256");
    if (size == nullptr && sha256 == nullptr) return std::nullopt;
    const fs::path executable = updateDir / "launcher.exe";
    std::vector<std::string> problems;
    if (!fs::is_regular_file(executable)) {
        problems.push_back("update/launcher.exe is missing");
    } else {
        const std::string actualSize = std::to_string(fs::file_size(executable));
        if (size == nullptr) {
            problems.push_back("update/launcher.xml gives no size");
        } else if (actualSize != size) {
            problems.push_back("update/launcher.exe holds " + actualSize +
                               " bytes where launcher.xml gives " + size);
        }
        if (sha256 == nullptr) {
            problems.push_back("update/launcher.xml gives no sha256");
        } else if (FileHash(executable) != sha256) {
            problems.push_back("update/launcher.exe has another SHA-256 than launcher.xml gives");
        }
    }
    for (const std::string& problem : problems)
        report.message += (report.message.empty() ? "" : "; ") + problem;
    report.ok = problems.empty();
    return report;
}

std::vector<ChainReport> VerifyTree(const std::string& root) {
    const VersionCatalogue catalogue = ReadCatalogue(fs::path(root) / "launcher" / "versions.xml");
    if (catalogue.versions.empty()) throw PublishError("no version is published under " + root);
    std::vector<ChainReport> reports;

    auto run = [&](const std::string& chain, UpdateAction action, const std::string& from) {
        ChainReport report;
        report.chain = chain;
        ScratchDirectory install;
        // The runtime step needs Windows; its marker lets the replay skip it.
        CreateEmptyFile((install.path() / "redist.txt").string());
        try {
            if (!from.empty()) {
                const fs::path game = install.path() / "game";
                fs::create_directories(game);
                ReplayVersion(root, from, game.string());
                SaveInstalledVersion((install.path() / "version.xml").string(), from);
            }
            TreeServer server(root, TreeServer::Store::kHidden);
            const UpdateOutcome outcome = RunUpdate(action, InstallLayout(install.str()));
            report.ok = outcome.next == UpdateOutcome::Next::kNotifyWindow;
            if (!report.ok) report.message = outcome.caption + ": " + outcome.text;
        } catch (const std::exception& error) {
            report.message = error.what();
        }
        reports.push_back(report);
    };

    run("install -> " + catalogue.current, UpdateAction::kInstall, {});
    for (const CatalogueVersion& version : catalogue.versions) {
        run("update " + version.value + " -> " + catalogue.current, UpdateAction::kUpdate,
            version.value);
    }
    return reports;
}
