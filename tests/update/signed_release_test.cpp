// Signed releases: Ed25519 known answers, and a tree signed by the publisher of which
// every tampered, replayed or expired document is refused before the game changes.
#include "update/signed_release.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/path.h"
#include "publisher.h"
#include "signing.h"
#include "update/documents.h"
#include "update/install_layout.h"
#include "update/opening.h"
#include "update/self_update.h"
#include "update/update_flow.h"
#include "update/update_test_support.h"

namespace fs = std::filesystem;

namespace {

struct KnownAnswer {
    const char* seed;
    const char* publicKey;
    const char* message;  // hexadecimal
    const char* signature;
};

// RFC 8032, section 7.1, tests 1 to 3.
const KnownAnswer kRfc8032[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b"
     "46b"
     "d25bf5f0595bbe24655141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11"
     "d8c"
     "387b2eaeb4302aeeb00d291612bb0c00"},
    {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc"
     "659"
     "4a7c15e9716ed28dc027beceea1ec40a"},
};

std::string Bytes(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

ReleaseKey Key(const char* hex) { return *ParseReleaseKey(hex); }

std::string Line(const KnownAnswer& answer) {
    return std::string(answer.publicKey) + " " + answer.signature + "\n";
}

}  // namespace

TEST(SignedReleaseTest, Rfc8032KnownAnswersAndTheirTamperedTwins) {
    for (const KnownAnswer& answer : kRfc8032) {
        SCOPED_TRACE(answer.publicKey);
        const std::string message = Bytes(answer.message);
        const ReleaseKey key = Key(answer.publicKey);
        EXPECT_TRUE(SignedByAny(message, Line(answer), {key}));
        EXPECT_FALSE(SignedByAny(message + "x", Line(answer), {key}));
        std::string flipped = Line(answer);
        flipped[70] = flipped[70] == '0' ? '1' : '0';
        EXPECT_FALSE(SignedByAny(message, flipped, {key}));
        EXPECT_FALSE(SignedByAny(message, "", {key}));
        // The publisher signs as libsodium does: the same bytes from the same seed.
        SecretKey secret{};
        ReleaseKey derived{};
        ASSERT_EQ(ParseReleaseKey(answer.seed)->size(), 32u);
        std::copy_n(ParseReleaseKey(answer.seed)->begin(), 32, secret.begin());
        std::copy_n(key.begin(), 32, secret.begin() + 32);
        derived = PublicKeyOf(secret);
        EXPECT_EQ(derived, key);
    }
    // A good signature proves nothing under a key the build does not list, whichever key
    // its line names.
    const std::string first = Bytes(kRfc8032[0].message);
    EXPECT_FALSE(SignedByAny(first, Line(kRfc8032[0]), {Key(kRfc8032[1].publicKey)}));
    const std::string claimed = std::string(kRfc8032[1].publicKey) + " " + kRfc8032[0].signature;
    EXPECT_FALSE(
        SignedByAny(first, claimed, {Key(kRfc8032[0].publicKey), Key(kRfc8032[1].publicKey)}));
}

TEST(SignedReleaseTest, ASignatureByAnyListedKeyIsAcceptedAmongLinesItCannotRead) {
    const KnownAnswer& newer = kRfc8032[2];
    const std::string file = "not a signature\r\n" + Line(kRfc8032[0]) + "ab cd\n" +
                             std::string(newer.publicKey) + " " + newer.signature + "\r\n";
    const std::string message = Bytes(newer.message);
    EXPECT_TRUE(SignedByAny(message, file, {Key(kRfc8032[1].publicKey), Key(newer.publicKey)}));
    EXPECT_FALSE(
        SignedByAny(message, file, {Key(kRfc8032[0].publicKey), Key(kRfc8032[1].publicKey)}));
}

TEST(SignedReleaseTest, UtcTimesRoundTripAndRefuseWhatTheyCannotRead) {
    for (const std::int64_t t : {std::int64_t{0}, std::int64_t{951782400}, std::int64_t{1796813014},
                                 std::int64_t{4102444799}}) {
        EXPECT_EQ(ParseUtcTime(FormatUtcTime(t)), t) << FormatUtcTime(t);
    }
    EXPECT_EQ(FormatUtcTime(951782400), "2000-02-29T00:00:00Z");
    for (const char* bad : {"", "2026-12-09", "2026-13-01T00:00:00Z", "2026-12-09T00:00:00",
                            "2026-12-09T00:00:00Z ", "2026-12-09T24:00:00Z"}) {
        EXPECT_FALSE(ParseUtcTime(bad)) << bad;
    }
}

namespace {

const Tree kBuild1 = {{"game.exe", "exe 1"}, {"data/a.ini", "a1"}, {"data/old.ini", "gone in 2"}};

class SignedFlowTest : public UpdateTest {
protected:
    void SetUp() override {
        UpdateTest::SetUp();
        CreateEmptyFile(InInstall("redist.txt"));
        keys = {temp.File("first.key"), temp.File("second.key")};
        SetReleaseKeys(
            {*ParseReleaseKey(GenerateKey(keys[0])), *ParseReleaseKey(GenerateKey(keys[1]))});
    }
    void TearDown() override {
        SetReleaseKeys({});
        UpdateTest::TearDown();
    }
    void Sign(std::size_t key = 0, std::optional<int> expires = std::nullopt) {
        SignTree(ServerRoot(), {{LoadSecretKey(keys[key])}, expires});
    }
    // Versions 1 and 2 of a game whose MIX archive 2 patches, signed, with 1 installed.
    void PublishTwo() {
        Tree build2 = {{"game.exe", "exe 2"}, {"data/a.ini", "a1"}, {"data/new.ini", "new"}};
        Tree build1 = kBuild1;
        build1["main.mix"] = WrittenMix({{"units.ini", "speed=4"}, {"map.dat", "map"}});
        build2["main.mix"] = WrittenMix({{"units.ini", "speed=5"}, {"map.dat", "map"}});
        Publish("1", build1, true);
        Sign();
        ASSERT_EQ(RunUpdate(UpdateAction::kInstall, InstallLayout(InstallDir())).next,
                  UpdateOutcome::Next::kNotifyWindow);
        Publish("2", build2);
        Sign();
    }
    // Runs an update that must be refused, leaving the installation exactly as it was.
    std::string Refused(const std::string& why) {
        const Tree before = ReadTree(GameDir());
        const std::string record = ReadBytes(InInstall("version.xml"));
        const UpdateOutcome outcome = RunUpdate(UpdateAction::kUpdate, InstallLayout(InstallDir()));
        EXPECT_EQ(outcome.caption, kVerificationCaption) << outcome.text;
        EXPECT_NE(outcome.text.find(why), std::string::npos) << outcome.text;
        EXPECT_EQ(ReadTree(GameDir()), before);
        EXPECT_EQ(ReadBytes(InInstall("version.xml")), record);
        return outcome.text;
    }
    std::string Catalogue() const { return LauncherFolder() + "/versions.xml"; }

    std::vector<std::string> keys;
};

}  // namespace

TEST_F(SignedFlowTest, EachTamperedFileIsRefusedBeforeTheGameChanges) {
    PublishTwo();
    ASSERT_TRUE(fs::exists(LauncherFolder() + "/2/patch-main.mix.zip"));
    for (const char* name : {"versions.xml", "versions.xml.sig", "2/manifest.xml",
                             "2/manifest.validate.xml", "2/files.zip", "2/patch-main.mix.zip"}) {
        SCOPED_TRACE(name);
        const std::string path = LauncherFolder() + "/" + name;
        const std::string original = ReadBytes(path);
        std::string tampered = original;
        tampered[tampered.size() / 2] ^= 1;
        WriteBytes(path, tampered);
        Refused("not signed by Kestrava; nothing was changed");
        WriteBytes(path, original);
    }
    ASSERT_EQ(RunUpdate(UpdateAction::kUpdate, InstallLayout(InstallDir())).next,
              UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(ReadBytes(InInstall("game/data/new.ini")), "new");
}

TEST_F(SignedFlowTest, AReplayedOrExpiredCatalogueIsRefusedAndTheSecondKeyIsAccepted) {
    PublishTwo();
    const std::string older = ReadBytes(Catalogue());
    const std::string olderSignature = ReadBytes(Catalogue() + ".sig");
    Sign();
    // The opening accepts the newer catalogue and remembers its serial.
    ASSERT_EQ(DecideGameState(InstallLayout(InstallDir())), GameState::kNeedsUpdate);
    WriteBytes(Catalogue(), older);
    WriteBytes(Catalogue() + ".sig", olderSignature);
    Refused("older release than this launcher has already seen");
    std::string refusal;
    EXPECT_EQ(DecideGameState(InstallLayout(InstallDir()), &refusal), GameState::kCatalogueRefused);
    EXPECT_NE(refusal.find("nothing was changed"), std::string::npos);

    Sign(0, 0);
    Refused("signature has expired");
    Sign(1, 30);
    ASSERT_EQ(RunUpdate(UpdateAction::kUpdate, InstallLayout(InstallDir())).next,
              UpdateOutcome::Next::kNotifyWindow);
    EXPECT_EQ(LoadInstalledVersion(InInstall("version.xml"), "record"), "2");
}

TEST_F(SignedFlowTest, LauncherAndServerListMustBeSigned) {
    std::string executable(80, '\0');
    executable.replace(0, 2, "MZ");
    executable[60] = 0x40;
    executable.replace(64, 2, "PE");
    WriteBytes(temp.File("new.exe"), executable);
    PublishLauncher(ServerRoot(), "9.9.9", temp.File("new.exe"));
    PublishServers(ServerRoot(), {{"Alpha", "10.0.0.1"}});
    Publish("1", kBuild1, true);
    Sign();
    CreateEmptyFile(InInstall("launcher.exe"));
    EXPECT_EQ(TestLauncherVersion(InstallLayout(InstallDir())), LauncherVersionStatus::kOutOfDate);
    ASSERT_TRUE(LoadServerList(InstallLayout(InstallDir())));

    WriteBytes(temp.File("server/update/launcher.exe"), executable + "tampered");
    const UpdateOutcome outcome = ReplaceLauncher(InstallLayout(InstallDir()));
    EXPECT_EQ(outcome.caption, kVerificationCaption);
    EXPECT_EQ(ReadBytes(InInstall("launcher.exe")), "");
    EXPECT_TRUE(runner.launches.empty());
    EXPECT_FALSE(FileExists(InInstall(kReplacementLauncherName)));

    WriteBytes(LauncherFolder() + "/servers.xml",
               "<Servers><Server Name=\"Evil\" IP=\"6.6.6.6\"/></Servers>");
    EXPECT_FALSE(LoadServerList(InstallLayout(InstallDir())));
    fs::remove(temp.File("server/update/launcher.xml.sig"));
    EXPECT_EQ(TestLauncherVersion(InstallLayout(InstallDir())), LauncherVersionStatus::kUnknown);
}
