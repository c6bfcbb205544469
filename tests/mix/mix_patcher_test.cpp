#include "mix/mix_patcher.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>

#include "mix/mix_error.h"
#include "mix_test_support.h"
#include "platform/status_sink.h"
#include "recording_status.h"
#include "temp_dir.h"

namespace {

std::string Descriptor(const std::vector<std::string>& removed,
                       const std::vector<std::string>& updated) {
    return nlohmann::json{{"removedFiles", removed}, {"updatedFiles", updated}}.dump();
}

// Lowers a resource limit for one scope.
class ScopedLimit {
public:
    ScopedLimit(int resource, rlim_t soft) : resource_(resource) {
        getrlimit(resource_, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        setrlimit(resource_, &lowered);
    }
    ~ScopedLimit() { setrlimit(resource_, &saved_); }

private:
    int resource_;
    rlimit saved_;
};

class MixPatcherTest : public MixTest {
protected:
    void SetUp() override {
        MixTest::SetUp();
        SetStatusSink(&sink);
        descriptors = OpenDescriptorCount();
    }
    void TearDown() override {
        SetStatusSink(nullptr);
        EXPECT_EQ(LiveMixEntryCount(), 0u) << "the patch operation leaves no entry behind";
        EXPECT_EQ(OpenDescriptorCount(), descriptors) << "every handle is closed";
        MixTest::TearDown();
    }

    // Patches source with patch and returns the output's entries.
    std::vector<RawEntry> Patch(const std::vector<RawEntry>& source,
                                const std::vector<RawEntry>& patch) {
        WriteBytes(dir.File("game.mix.old"), BuildMix(source));
        WriteBytes(dir.File("patch.mix"), BuildMix(patch));
        PatchMixFile(dir.File("game.mix.old"), dir.File("game.mix"), dir.File("patch.mix"));
        MixFile output(dir.File("game.mix"));
        auto contents = Contents(output);
        ReleaseMixEntries();
        return contents;
    }

    void ExpectOutputUntouched() {
        EXPECT_EQ(ReadBytes(dir.File("game.mix")), "the good archive");
        EXPECT_FALSE(std::filesystem::exists(dir.File("game.mix.part")));
    }

    TempDir dir;
    RecordingStatus sink;
    std::size_t descriptors = 0;
    const std::vector<RawEntry> ab = {{"a.ini", 10, "alpha"}, {"b.ini", 20, "beta"}};
};

}  // namespace

TEST_F(MixPatcherTest, EmptyDescriptorRewritesTheSourceInIdOrder) {
    const std::vector<RawEntry> source = {{"z", 9, "nine"}, {"y", 2, "two"}, {"x", 5, ""}};
    EXPECT_EQ(Patch(source, {{".vantle.patch", 1, Descriptor({}, {})}}),
              (std::vector<RawEntry>{{"y", 2, "two"}, {"x", 5, ""}, {"z", 9, "nine"}}));
    // Rewritten with fresh, aligned offsets: the data of "y" is followed by fill.
    EXPECT_EQ(ReadBytes(dir.File("game.mix")).substr(16, 8),
              std::string("two") + std::string(5, '\0'));
}

TEST_F(MixPatcherTest, UpdateTakesThePatchEntryWithItsOwnIdAndName) {
    EXPECT_EQ(Patch(ab, {{".vantle.patch", 5, Descriptor({}, {"b.ini"})}, {"B.INI", 15, "BETA 2"}}),
              (std::vector<RawEntry>{{"a.ini", 10, "alpha"}, {"B.INI", 15, "BETA 2"}}));
}

TEST_F(MixPatcherTest, RemovalMatchesAnyCaseAndUpdateAddsNewEntries) {
    EXPECT_EQ(
        Patch(ab, {{".mordopatch", 5, Descriptor({"A.INI"}, {"c.ini"})}, {"c.ini", 1, "new"}}),
        (std::vector<RawEntry>{{"c.ini", 1, "new"}, {"b.ini", 20, "beta"}}));
}

// Whether or not the archive holds the name, the patch is refused and nothing is written.
TEST_F(MixPatcherTest, UpdateOfANameThePatchLacksIsRefused) {
    for (const char* name : {"x.ini", "b.ini"}) {
        EXPECT_THROW(Patch(ab, {{".vantle.patch", 5, Descriptor({}, {name})}}), MixFormatError)
            << name;
        EXPECT_FALSE(std::filesystem::exists(dir.File("game.mix"))) << name;
    }
}

TEST_F(MixPatcherTest, EachListingOfANameReachesOneEntryInIdOrder) {
    const std::vector<RawEntry> source = {{"d.ini", 4, "four"}, {"D.ini", 3, "three"}};
    EXPECT_EQ(Patch(source, {{".vantle.patch", 5, Descriptor({"d.ini"}, {})}}),
              (std::vector<RawEntry>{{"d.ini", 4, "four"}}));
    EXPECT_TRUE(Patch(source, {{".vantle.patch", 5, Descriptor({"d.ini", "D.INI"}, {})}}).empty());
}

TEST_F(MixPatcherTest, RemovalsHappenBeforeUpdates) {
    // Were the update applied first, the removal would take the new entry out again.
    EXPECT_EQ(
        Patch(ab, {{".vantle.patch", 5, Descriptor({"b.ini"}, {"b.ini"})}, {"b.ini", 30, "new"}}),
        (std::vector<RawEntry>{{"a.ini", 10, "alpha"}, {"b.ini", 30, "new"}}));
}

TEST_F(MixPatcherTest, DescriptorIsCarriedOnlyWhenListed) {
    const std::string text = Descriptor({}, {".vantle.patch"});
    EXPECT_EQ(Patch(ab, {{".vantle.patch", 5, text}}),
              (std::vector<RawEntry>{
                  {".vantle.patch", 5, text}, {"a.ini", 10, "alpha"}, {"b.ini", 20, "beta"}}));
}

TEST_F(MixPatcherTest, PatchWithoutDescriptorRewritesTheSource) {
    EXPECT_EQ(Patch(ab, {{"a.ini", 1, "ignored"}}), ab);
}

TEST_F(MixPatcherTest, StatusTextNamesThePatchFileAsPassed) {
    Patch(ab, {});
    EXPECT_EQ(sink.texts,
              (std::vector<std::string>{"Appyling Patch File " + dir.File("patch.mix")}));
    EXPECT_TRUE(sink.progress.empty());
}

TEST_F(MixPatcherTest, OutputMayReplaceTheSourceItself) {
    WriteBytes(dir.File("game.mix"), BuildMix(ab));
    WriteBytes(dir.File("patch.mix"), BuildMix({{".vantle.patch", 1, Descriptor({"a.ini"}, {})}}));
    PatchMixFile(dir.File("game.mix"), dir.File("game.mix"), dir.File("patch.mix"));
    MixFile output(dir.File("game.mix"));
    EXPECT_EQ(Contents(output), (std::vector<RawEntry>{{"b.ini", 20, "beta"}}));
    ReleaseMixEntries();
}

TEST_F(MixPatcherTest, FailuresLeaveTheOutputAsItWas) {
    WriteBytes(dir.File("game.mix.old"), BuildMix(ab));
    WriteBytes(dir.File("game.mix"), "the good archive");
    const auto patchWith = [&](const std::string& descriptorText) {
        WriteBytes(dir.File("patch.mix"),
                   BuildMix({{".vantle.patch", 1, descriptorText}, {"a.ini", 2, "x"}}));
        PatchMixFile(dir.File("game.mix.old"), dir.File("game.mix"), dir.File("patch.mix"));
    };
    for (const char* text : {"not json", "", "{\"removedFiles\":[]}"}) {
        EXPECT_THROW(patchWith(text), nlohmann::json::exception) << text;
        ExpectOutputUntouched();
        EXPECT_EQ(LiveMixEntryCount(), 0u);
    }

    WriteBytes(dir.File("patch.mix"), BuildMix({{".vantle.patch", 1, Descriptor({}, {})}}));
    WriteBytes(dir.File("broken.mix"), BuildMix(ab).substr(0, 40));
    EXPECT_THROW(PatchMixFile(dir.File("broken.mix"), dir.File("game.mix"), dir.File("patch.mix")),
                 MixFormatError);
    ExpectOutputUntouched();
    EXPECT_THROW(
        PatchMixFile(dir.File("game.mix.old"), dir.File("game.mix"), dir.File("broken.mix")),
        MixFormatError);
    ExpectOutputUntouched();
    EXPECT_EQ(ReadBytes(dir.File("game.mix.old")), BuildMix(ab));
}

TEST_F(MixPatcherTest, FailedWriteNeverReplacesTheOutput) {
    WriteBytes(dir.File("game.mix.old"), BuildMix({{"big", 1, std::string(300000, 'b')}}));
    WriteBytes(dir.File("patch.mix"), BuildMix({{".vantle.patch", 1, Descriptor({}, {})}}));
    WriteBytes(dir.File("game.mix"), "the good archive");
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    {
        ScopedLimit fileSize(RLIMIT_FSIZE, 100000);
        EXPECT_THROW(
            PatchMixFile(dir.File("game.mix.old"), dir.File("game.mix"), dir.File("patch.mix")),
            MixIoError);
    }
    std::signal(SIGXFSZ, previous);
    ExpectOutputUntouched();
}

TEST_F(MixPatcherTest, UnopenableOutputIsAnErrorToTheCaller) {
    WriteBytes(dir.File("game.mix.old"), BuildMix(ab));
    WriteBytes(dir.File("patch.mix"), BuildMix({}));
    EXPECT_THROW(PatchMixFile(dir.File("game.mix.old"), dir.File("no/such/dir/game.mix"),
                              dir.File("patch.mix")),
                 MixIoError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("no")));
}

TEST_F(MixPatcherTest, FiftyThousandEntriesPatchUnderASmallDescriptorLimit) {
    std::vector<RawEntry> source;
    for (std::uint32_t i = 0; i < 50000; ++i) {
        source.push_back({"f" + std::to_string(i) + ".dat", 50000 - i, std::to_string(i)});
    }
    std::vector<RawEntry> output;
    {
        ScopedLimit descriptors(RLIMIT_NOFILE, 256);
        output = Patch(source, {{".vantle.patch", 0, Descriptor({"f7.dat"}, {"f9.dat"})},
                                {"f9.dat", 49991, "nine, patched"}});
    }
    ASSERT_EQ(output.size(), 49999u);
    EXPECT_EQ(output.front(), (RawEntry{"f49999.dat", 1, "49999"}));
    EXPECT_EQ(output[49990], (RawEntry{"f9.dat", 49991, "nine, patched"}));
    EXPECT_EQ(output.back(), (RawEntry{"f0.dat", 50000, "0"}));
}

TEST_F(MixPatcherTest, PatchEntryBeyondTwoGibibytesIsCopied) {
    const std::string patch = dir.File("patch.mix");
    const std::string descriptor = Descriptor({}, {"far.ini"});
    const std::uint32_t farOffset = 0x90000000u;
    const std::string far = "from far away";
    {
        UniqueFile out = OpenFile(patch, "wb");
        const std::uint32_t indexOffset = farOffset + static_cast<std::uint32_t>(far.size());
        const std::string index = LE32(2) + LE32(1) + LE32(16) + LE32(descriptor.size()) + LE32(2) +
                                  LE32(farOffset) + LE32(far.size());
        const std::string names = LE32(2) + std::string(
                                                "\x0e.vantle.patch\0\x08"
                                                "far.ini\0",
                                                24);
        const std::string head = "MIX1" + LE32(indexOffset) +
                                 LE32(indexOffset + static_cast<std::uint32_t>(index.size())) +
                                 LE32(0) + descriptor;
        std::fwrite(head.data(), 1, head.size(), out.get());
        ASSERT_TRUE(SeekTo(out.get(), farOffset));
        const std::string tail = far + index + names;
        std::fwrite(tail.data(), 1, tail.size(), out.get());
    }
    WriteBytes(dir.File("game.mix.old"), BuildMix(ab));
    PatchMixFile(dir.File("game.mix.old"), dir.File("game.mix"), patch);
    MixFile output(dir.File("game.mix"));
    EXPECT_EQ(Contents(output),
              (std::vector<RawEntry>{
                  {"far.ini", 2, far}, {"a.ini", 10, "alpha"}, {"b.ini", 20, "beta"}}));
    ReleaseMixEntries();
}
