// kestrava-publish's work: the tree it writes, and its verification of trees.
#include "publisher.h"

#include <zip.h>

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>

#include "hash/sha256.h"
#include "mix/mix_test_support.h"
#include "repair_store.h"
#include "update/documents.h"
#include "update/update_test_support.h"

namespace fs = std::filesystem;

namespace {

// The data of the zip's only entry, which must be a regular file named name.
std::string OnlyEntry(const std::string& zipPath, const std::string& name) {
    int error = 0;
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(zip_open(zipPath.c_str(), ZIP_RDONLY, &error),
                                                     &zip_discard);
    if (!archive) {
        ADD_FAILURE() << "cannot open " << zipPath;
        return "";
    }
    EXPECT_EQ(zip_get_num_entries(archive.get(), 0), 1) << zipPath;
    EXPECT_STREQ(zip_get_name(archive.get(), 0, 0), name.c_str());
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    zip_file_get_external_attributes(archive.get(), 0, 0, &system, &attributes);
    EXPECT_EQ(system, ZIP_OPSYS_UNIX);
    EXPECT_EQ(attributes >> 16, 0100644u);
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> entry(zip_fopen_index(archive.get(), 0, 0),
                                                            &zip_fclose);
    std::string data(1 << 20, '\0');
    const zip_int64_t got = zip_fread(entry.get(), data.data(), data.size());
    EXPECT_GE(got, 0);
    data.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return data;
}

// Bytes that do not compress, and words that do; the same for the same seed.
std::string Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}
std::string Words(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {"tank ", "harvester ", "ore ", "refinery ", "power\n"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) text += kWords[random() % 5] + std::to_string(random() % 1000);
    return text.substr(0, size);
}

// The compression method of each entry of a zip.
std::map<std::string, zip_uint16_t> Methods(const std::string& zipPath) {
    int error = 0;
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(zip_open(zipPath.c_str(), ZIP_RDONLY, &error),
                                                     &zip_discard);
    std::map<std::string, zip_uint16_t> methods;
    for (zip_int64_t i = 0; archive && i < zip_get_num_entries(archive.get(), 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &stat);
        methods[stat.name] = stat.comp_method;
    }
    return methods;
}

class PublisherTest : public UpdateTest {
protected:
    std::string Version(const std::string& version, const std::string& file) {
        return LauncherFolder() + "/" + version + "/" + file;
    }
    std::vector<ManifestFile> Manifest(const std::string& version) {
        return LoadInstallManifest(Version(version, "manifest.xml"), "manifest.xml");
    }
    std::string StoreObject(const std::string& hash) {
        return LauncherFolder() + "/store/" + hash.substr(0, 2) + "/" + hash + ".zip";
    }
    static bool AllOk(const std::vector<ChainReport>& reports) {
        for (const ChainReport& report : reports) {
            if (!report.ok) return false;
        }
        return !reports.empty();
    }
};

TEST_F(PublisherTest, FirstVersionCarriesEveryFileInPackagesByTopFolder) {
    Publish(
        "1.0",
        {{"game.exe", "exe"}, {"data/a.ini", "a"}, {"data/sub/b.ini", "b"}, {"My Maps/x.map", "x"}},
        true);

    const VersionCatalogue catalogue =
        LoadVersionCatalogue(LauncherFolder() + "/versions.xml", "versions.xml");
    EXPECT_EQ(catalogue.current, "1.0");
    ASSERT_EQ(catalogue.versions.size(), 1u);
    EXPECT_EQ(catalogue.versions[0].type, "Full");
    std::map<std::string, std::string> packages;
    for (const ManifestFile& file : Manifest("1.0")) {
        packages[file.name] = file.package;
        EXPECT_EQ(file.checksum, Sha256Hex(ReadBytes(temp.File("builds/1.0/" + file.name))));
    }
    EXPECT_EQ(packages, (std::map<std::string, std::string>{{"game.exe", "files"},
                                                            {"data/a.ini", "files-data"},
                                                            {"data/sub/b.ini", "files-data"},
                                                            {"My Maps/x.map", "files-My_Maps"}}));
    EXPECT_EQ(LoadValidationManifest(Version("1.0", "manifest.validate.xml"), "v").size(), 4u);
    EXPECT_TRUE(fs::exists(Version("1.0", "files-My_Maps.zip")));
}

TEST_F(PublisherTest, LaterVersionCarriesDeletionsChangesAndMixPatches) {
    const std::string mix1 = WrittenMix({{"a.ini", "one"}, {"b.ini", "two"}, {"c.ini", "three"}});
    const std::string mix2 = WrittenMix({{"a.ini", "one"}, {"b.ini", "TWO"}});
    // Laid out unlike our writer: patching would give the same entries in other bytes.
    const std::string foreign1 = BuildMix({{"a.ini", 1, "one"}});
    const std::string foreign2 = BuildMix({{"a.ini", 1, "uno"}});
    Publish("1", {{"same.txt", "s"},
                  {"gone.txt", "g"},
                  {"changed.txt", "1"},
                  {"data/game.mix", mix1},
                  {"broken.mix", "not an archive"},
                  {"foreign.mix", foreign1}});
    Publish("2", {{"same.txt", "s"},
                  {"changed.txt", "2"},
                  {"data/game.mix", mix2},
                  {"new/file.txt", "n"},
                  {"broken.mix", "still not one"},
                  {"foreign.mix", foreign2}});

    std::map<std::string, ManifestFile> byName;
    for (const ManifestFile& file : Manifest("2")) byName[file.name] = file;
    EXPECT_EQ(byName.count("same.txt"), 0u);
    EXPECT_EQ(byName["gone.txt"].checksum, "");
    EXPECT_EQ(byName["changed.txt"].package, "files");
    EXPECT_EQ(byName["new/file.txt"].package, "files-new");
    EXPECT_TRUE(byName["data/game.mix"].hasPatch);
    EXPECT_EQ(byName["data/game.mix"].package, "patch-data.game.mix");
    EXPECT_FALSE(byName["broken.mix"].hasPatch);  // not an archive: shipped whole
    EXPECT_FALSE(byName["foreign.mix"].hasPatch);
    EXPECT_EQ(LoadVersionCatalogue(LauncherFolder() + "/versions.xml", "v").versions[1].type,
              "Update");

    const std::vector<ChainReport> reports = VerifyTree(ServerRoot());
    EXPECT_TRUE(AllOk(reports));
    EXPECT_EQ(reports.size(), 3u);
}

TEST_F(PublisherTest, SameBuildGivesTheSameBytes) {
    const Tree build = {{"b.txt", "b"}, {"a.txt", "a"}, {"dir/c.txt", std::string(100000, 'c')}};
    Publish("1", build);
    const Tree first = ReadTree(LauncherFolder() + "/1");
    fs::remove_all(LauncherFolder());
    fs::create_directories(LauncherFolder());
    fs::last_write_time(temp.File("builds/1/a.txt"),
                        fs::file_time_type::clock::now() - std::chrono::hours(100));
    Publish("1", build);
    EXPECT_EQ(ReadTree(LauncherFolder() + "/1"), first);
}

// Whatever the number of workers, and whether a patch publish takes the previous version
// from its validation list, from a replay of the tree, or (lacking its archive in the
// store) from both, the tree holds the same bytes; and the launcher installs from it.
TEST_F(PublisherTest, PublishedBytesDependOnTheBuildsAlone) {
    const std::string mix1 = WrittenMix({{"map.bin", Noise(300000, 1)}, {"rules.ini", "a"}});
    const std::string mix2 = WrittenMix({{"map.bin", Noise(300000, 1)}, {"rules.ini", "b"}});
    const Tree build1 = {
        {"noise.bin", Noise(700000, 2)},
        {"words.txt", Words(300000, 3)},
        // Noise first: only the sample at 1 MiB tells it compresses.
        {"data/mixed.pak", Noise(1 << 20, 4) + Words(100000, 5) + Noise((1 << 20) - 100000, 7)},
        {"data/empty", ""},
        {"game.mix", mix1}};
    Tree build2 = build1;
    build2["words.txt"] = Words(300000, 6);
    build2["game.mix"] = mix2;
    build2.erase("noise.bin");
    WriteTree(temp.File("builds/1"), build1);
    WriteTree(temp.File("builds/2"), build2);
    const std::string oldArchive = StoreObject(Sha256Hex(mix1));

    const struct {
        unsigned threads;
        bool replay;
        bool storeLacksOldArchive;
    } cases[] = {{1, false, false},
                 {2, false, false},
                 {5, false, false},
                 {2, true, false},
                 {3, false, true}};
    std::optional<Tree> reference;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.threads << " workers, replay " << c.replay
                     << ", store lacks the old archive " << c.storeLacksOldArchive);
        fs::remove_all(ServerRoot());
        PublishOptions options;
        options.threads = c.threads;
        options.replayPrevious = c.replay;
        AddVersion(ServerRoot(), "1", temp.File("builds/1"), true, options);
        if (c.storeLacksOldArchive) fs::rename(oldArchive, temp.File("kept.zip"));
        AddVersion(ServerRoot(), "2", temp.File("builds/2"), false, options);
        if (c.storeLacksOldArchive) fs::rename(temp.File("kept.zip"), oldArchive);
        const Tree tree = ReadTree(ServerRoot());
        if (!reference) {
            reference = tree;
            EXPECT_EQ(Methods(Version("1", "files.zip")),
                      (std::map<std::string, zip_uint16_t>{{"game.mix", ZIP_CM_STORE},
                                                           {"noise.bin", ZIP_CM_STORE},
                                                           {"words.txt", ZIP_CM_DEFLATE}}));
            EXPECT_EQ(Methods(Version("1", "files-data.zip")),
                      (std::map<std::string, zip_uint16_t>{{"data/empty", ZIP_CM_STORE},
                                                           {"data/mixed.pak", ZIP_CM_DEFLATE}}));
            EXPECT_TRUE(fs::exists(Version("2", "patch-game.mix.zip")));
            EXPECT_TRUE(AllOk(VerifyTree(ServerRoot())));
        } else {
            EXPECT_TRUE(tree == *reference);
        }
    }
}

// A publish that fails names what failed and leaves the tree as it was, but for whole
// objects in the store, which no manifest lists yet.
TEST_F(PublisherTest, FailedPublishNamesItsCauseAndLeavesNoVersion) {
    Publish("1", {{"a.txt", "a"}});
    const Tree before = ReadTree(LauncherFolder());
    Tree build;
    for (int i = 0; i < 200; ++i) build["data/" + std::to_string(i)] = Words(5000, i);
    const struct {
        std::string expected;
        std::function<void()> arrange;
    } cases[] = {
        // Its read fails (EIO) though it opens: a file no worker can finish.
        {"unreadable.bin",
         [&] { fs::create_symlink("/proc/self/mem", temp.File("builds/2/unreadable.bin")); }},
        {StoreObject(Sha256Hex(build["data/7"])) + ".tmp",
         [&] { fs::create_directories(StoreObject(Sha256Hex(build["data/7"])) + ".tmp"); }},
    };
    for (const auto& c : cases) {
        fs::remove_all(temp.File("builds/2"));
        WriteTree(temp.File("builds/2"), build);
        c.arrange();
        PublishOptions options;
        options.threads = 3;
        try {
            AddVersion(ServerRoot(), "2", temp.File("builds/2"), false, options);
            ADD_FAILURE() << c.expected << ": published";
        } catch (const PublishError& error) {
            EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos)
                << error.what();
        }
        EXPECT_FALSE(fs::exists(LauncherFolder() + "/2"));
        Tree after = ReadTree(LauncherFolder());
        for (auto at = after.begin(); at != after.end();) {
            at = at->first.rfind("store/", 0) == 0 && before.count(at->first) == 0 ? after.erase(at)
                                                                                   : std::next(at);
        }
        EXPECT_TRUE(after == before) << c.expected;
        fs::remove_all(LauncherFolder() + "/store");  // so the next case writes objects again
        WriteTree(LauncherFolder(), before);
    }
}

TEST_F(PublisherTest, RefusesWhatTheLauncherCouldNotServe) {
    Publish("1", {{"a", "a"}});
    EXPECT_THROW(Publish("1", {{"a", "b"}}), PublishError);
    EXPECT_THROW(Publish("../x", {{"a", "b"}}), PublishError);
    EXPECT_THROW(Publish("Store", {{"a", "b"}}), PublishError);  // the store's own folder
    EXPECT_THROW(Publish("2", {{"manifest.validate.xml", "reserved"}}), PublishError);
    EXPECT_THROW(AddVersion(ServerRoot(), "3", temp.File("no-such-build"), false), PublishError);
}

// Each build is refused whole, naming its offenders, before the tree changes at all.
TEST_F(PublisherTest, RefusesNamesWindowsCannotHoldBeforeWriting) {
    Publish("1", {{"a b.mix", WrittenMix({{"x", "1"}})}, {"a_b.mix", WrittenMix({{"y", "1"}})}});
    const Tree published = ReadTree(ServerRoot());
    const struct {
        Tree build;
        std::vector<std::string> named;
    } cases[] = {
        {{{"aux.txt", "a"}, {"fine.txt", "f"}}, {"aux.txt"}},
        {{{"Readme.txt", "1"}, {"README.TXT", "2"}}, {"Readme.txt", "README.TXT"}},
        {{{"Data/x", "1"}, {"data/y", "2"}}, {"Data", "data/y"}},
        {{{"dir./x", "1"}, {"trailing ", "2"}}, {"dir./x", "trailing "}},
        {{{"a b.mix", WrittenMix({{"x", "2"}})}, {"a_b.mix", WrittenMix({{"y", "2"}})}},
         {"a b.mix", "a_b.mix", "patch-a_b.mix"}},
    };
    for (const auto& c : cases) {
        try {
            Publish("2", c.build);
            ADD_FAILURE() << c.named.front() << ": published";
        } catch (const PublishError& error) {
            for (const std::string& name : c.named)
                EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
        }
        EXPECT_EQ(ReadTree(ServerRoot()), published) << c.named.front();
    }
}

TEST_F(PublisherTest, VerifyReportsEveryBrokenChain) {
    Publish("1", {{"a.txt", "a"}, {"b.txt", "b"}});
    Publish("2", {{"a.txt", "A"}, {"b.txt", "b"}});
    ASSERT_TRUE(AllOk(VerifyTree(ServerRoot())));

    // A package damaged after publishing: validation of the result catches it.
    WriteZip(Version("2", "files.zip"), {{"a.txt", "wrong"}});
    const std::vector<ChainReport> reports = VerifyTree(ServerRoot());
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].chain, "install -> 2");
    EXPECT_FALSE(reports[0].ok);
    EXPECT_NE(reports[0].message.find("Validation Failed"), std::string::npos)
        << reports[0].message;
    EXPECT_EQ(reports[1].chain, "update 1 -> 2");
    EXPECT_FALSE(reports[1].ok);
}

TEST_F(PublisherTest, StoreHoldsEachDistinctFileOnceAndManifestsListSizes) {
    const std::string big(300000, 'c');
    Publish("1", {{"a.txt", "same"}, {"copy.txt", "same"}, {"b.txt", "one"}, {"empty", ""}}, true);
    const auto before = fs::file_time_type::clock::now() - std::chrono::hours(100);
    fs::last_write_time(StoreObject(Sha256Hex("same")), before);
    Publish("2", {{"a.txt", "same"}, {"b.txt", "two"}, {"dir/c.bin", big}});

    std::set<std::string> expected;
    for (const std::string& data :
         {std::string("same"), std::string("one"), std::string(), std::string("two"), big}) {
        const std::string hash = Sha256Hex(data);
        expected.insert(hash.substr(0, 2) + "/" + hash + ".zip");
        EXPECT_EQ(OnlyEntry(StoreObject(hash), hash), data);
    }
    std::set<std::string> stored;  // also: no half-written object left behind
    for (const auto& [name, data] : ReadTree(LauncherFolder() + "/store")) stored.insert(name);
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(fs::last_write_time(StoreObject(Sha256Hex("same"))), before);

    for (const std::string version : {"1", "2"}) {
        for (const auto& [name, file] :
             LoadValidationManifest(Version(version, "manifest.validate.xml"), "v")) {
            EXPECT_EQ(file.size, ReadBytes(temp.File("builds/" + version + "/" + name)).size())
                << name;
        }
    }
    const ChainReport report = VerifyStore(ServerRoot());
    EXPECT_TRUE(report.ok) << report.message;
}

TEST_F(PublisherTest, VerifyFindsEveryDamageToTheStore) {
    Publish("1", {{"a.txt", "a"}, {"b.txt", "b"}});
    const std::string hash = Sha256Hex("a");
    const std::string object = StoreObject(hash);
    const std::string good = ReadBytes(object);
    const auto zipped = [&](const std::vector<ZipEntrySpec>& entries) {
        return [&, entries] { WriteZip(object, entries); };
    };
    const struct {
        std::function<void()> damage;
        std::string expected;
    } cases[] = {
        {[&] { fs::remove(object); }, "launcher/store/" + hash.substr(0, 2) + "/" + hash +
                                          ".zip for a.txt of version 1 is missing"},
        {[&] { WriteBytes(object, "PK damaged"); }, "is not a readable zip"},
        {zipped({{"a.txt", "a"}}), "exactly one entry"},
        {zipped({{hash, "a"}, {"extra", ""}}), "exactly one entry"},
        {zipped({{hash, "x"}}), "holds bytes of another SHA-256"},
        {zipped({{hash, "longer"}}), "holds 6 bytes where the manifest lists 1"},
        // A tree published before the store: one line, not one per file.
        {[&] { fs::remove_all(LauncherFolder() + "/store"); }, "launcher/store is missing"},
    };
    for (const auto& damage : cases) {
        damage.damage();
        const ChainReport report = VerifyStore(ServerRoot());
        EXPECT_EQ(report.chain, "store");
        EXPECT_FALSE(report.ok) << damage.expected;
        EXPECT_NE(report.message.find(damage.expected), std::string::npos) << report.message;
        fs::create_directories(fs::path(object).parent_path());
        WriteBytes(object, good);
    }
}

TEST_F(PublisherTest, ServersAndLauncherRelease) {
    PublishServers(ServerRoot(), {{"Zeta", "10.0.0.2:7777"}, {"Alpha", "play.example.net"}});
    EXPECT_EQ(ReadBytes(LauncherFolder() + "/servers.xml"),
              "<Servers>\n    <Server Name=\"Zeta\" IP=\"10.0.0.2:7777\"/>\n"
              "    <Server Name=\"Alpha\" IP=\"play.example.net\"/>\n</Servers>\n");

    std::string exe(64, '\0');
    exe[0] = 'M', exe[1] = 'Z', exe[0x3C] = 64;
    exe += std::string("PE\0\0", 4);
    WriteBytes(temp.File("launcher.exe"), exe);
    PublishLauncher(ServerRoot(), "1.0.2", temp.File("launcher.exe"));
    const std::string releaseXml = temp.File("server/update/launcher.xml");
    EXPECT_EQ(ReadBytes(releaseXml), "<Version Current=\"1.0.2\" size=\"" +
                                         std::to_string(exe.size()) + "\" sha256=\"" +
                                         Sha256Hex(exe) + "\"/>\n");
    EXPECT_EQ(ReadBytes(temp.File("server/update/launcher.exe")), exe);
    EXPECT_TRUE(VerifyLauncherRelease(ServerRoot()).value().ok);
    const std::pair<std::string, std::string> damages[] = {
        {exe.substr(0, exe.size() - 1) + "X", "another SHA-256"},
        {exe + "tail", "holds 72 bytes where launcher.xml gives 68"}};
    for (const auto& [bytes, expected] : damages) {
        WriteBytes(temp.File("server/update/launcher.exe"), bytes);
        const ChainReport report = VerifyLauncherRelease(ServerRoot()).value();
        EXPECT_FALSE(report.ok);
        EXPECT_NE(report.message.find(expected), std::string::npos) << report.message;
    }
    WriteBytes(releaseXml, "<Version Current=\"1.0.2\"/>\n");  // published before the attributes
    EXPECT_FALSE(VerifyLauncherRelease(ServerRoot()).has_value());
    WriteBytes(temp.File("notes.txt"), "not a program");
    EXPECT_THROW(PublishLauncher(ServerRoot(), "1.0.3", temp.File("notes.txt")), PublishError);
}

}  // namespace
