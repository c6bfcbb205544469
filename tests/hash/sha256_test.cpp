#include "hash/sha256.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct Vector {
    std::string message;
    const char* digest;
};

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::vector<Vector> KnownAnswers() {
    return {
        // FIPS 180-4 examples.
        {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "mnopqrsmnopqrstnopqrstu",
         "CF5B16A778AF8380036CE59E7B0492370B249B11E8F07A51AFAC45037AFEE9D1"},
        {std::string(1000000, 'a'),
         "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
        // NIST short-message vectors (byte-oriented).
        {FromHex("d3"), "28969CDFA74A12C82F3BAD960B0B000ACA2AC329DEEA5C2328EBC6F2BA9802C1"},
        {FromHex("11af"), "5CA7133FA735326081558AC312C620EECA9970D1E70A4B95533D956F072D1F98"},
        {FromHex("74cb9381d89f5aa73368"),
         "73D6FAD1CAAA75B43B21733561FD3958BDC555194A037C2ADDEC19DC2D7A52BD"},
    };
}

std::string Digest(Sha256Engine engine, const std::string& message) {
    Sha256 hash(engine);
    hash.Update(message.data(), message.size());
    return ToUpperHex(hash.Final());
}

class Sha256Engines : public ::testing::TestWithParam<Sha256Engine> {
protected:
    void SetUp() override {
        if (!Sha256EngineAvailable(GetParam())) {
            GTEST_SKIP() << "this processor cannot run the " << Sha256EngineName(GetParam())
                         << " path";
        }
    }
};

TEST_P(Sha256Engines, KnownAnswers) {
    for (const Vector& vector : KnownAnswers()) {
        EXPECT_EQ(Digest(GetParam(), vector.message), vector.digest)
            << vector.message.size() << " bytes";
    }
}

// Feeding in pieces of every size that straddles the 64-byte block gives the one-shot digest.
TEST_P(Sha256Engines, IncrementalFeedingMatchesOneShot) {
    const std::string message = KnownAnswers()[3].message + std::string(300, 'x');
    const std::string whole = Digest(GetParam(), message);
    for (std::size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u, 200u}) {
        Sha256 hash(GetParam());
        for (std::size_t at = 0; at < message.size(); at += piece) {
            hash.Update(message.data() + at, std::min(piece, message.size() - at));
        }
        EXPECT_EQ(ToUpperHex(hash.Final()), whole) << "pieces of " << piece;
    }
}

TEST_P(Sha256Engines, FinalStartsOver) {
    Sha256 hash(GetParam());
    hash.Update("abc", 3);
    hash.Final();
    EXPECT_EQ(ToUpperHex(hash.Final()), KnownAnswers()[0].digest);
}

INSTANTIATE_TEST_SUITE_P(, Sha256Engines,
                         ::testing::Values(Sha256Engine::kPortable, Sha256Engine::kSsse3,
                                           Sha256Engine::kAvx2, Sha256Engine::kHardware));

// The padding boundaries (55, 56, 63, 64 bytes...) and random contents: each path the
// processor offers agrees with the portable one.
TEST_P(Sha256Engines, AgreesWithPortableOnEveryLengthUpTo300) {
    std::mt19937 random(7);
    for (std::size_t length = 0; length <= 300; ++length) {
        std::string message(length, '\0');
        for (char& c : message) c = static_cast<char>(random());
        ASSERT_EQ(Digest(GetParam(), message), Digest(Sha256Engine::kPortable, message))
            << length << " bytes";
    }
}

// Eight messages through the lanes as validation feeds them: the blocks all unfinished ones
// have in common at once, and each tail through Sha256 once less than a block is left.
std::array<std::string, 8> DigestsInLanes(const std::array<std::string, 8>& messages) {
    std::uint32_t states[8][8];
    for (auto& state : states) std::memcpy(state, kSha256Initial, sizeof state);
    std::array<std::size_t, 8> at = {};
    std::array<std::string, 8> digests;
    for (;;) {
        std::size_t count = std::numeric_limits<std::size_t>::max();
        const std::uint8_t* blocks[8] = {};
        for (std::size_t lane = 0; lane < 8; ++lane) {
            if (!digests[lane].empty()) continue;
            const auto bytes = reinterpret_cast<const std::uint8_t*>(messages[lane].data());
            const std::size_t left = messages[lane].size() - at[lane];
            if (left < 64) {
                Sha256 tail;
                tail.Resume(states[lane], at[lane]);
                tail.Update(bytes + at[lane], left);
                digests[lane] = ToUpperHex(tail.Final());
                continue;
            }
            count = std::min(count, left / 64);
            blocks[lane] = bytes + at[lane];
        }
        if (count == std::numeric_limits<std::size_t>::max()) return digests;
        const std::uint8_t* busy = *std::find_if(blocks, blocks + 8, [](auto p) { return p; });
        for (const std::uint8_t*& idle : blocks) idle = idle ? idle : busy;
        Sha256CompressLanesAvx2(states, blocks, count);
        for (std::size_t lane = 0; lane < 8; ++lane) {
            if (digests[lane].empty()) at[lane] += count * 64;
        }
    }
}

// Known answers in eight lanes at once, then lanes of lengths about the block's and the
// padding's edges side by side, each against the portable path.
TEST(Sha256Lanes, AgreeWithOneStream) {
    if (!Sha256EngineAvailable(Sha256Engine::kAvx2)) GTEST_SKIP() << "no AVX2";
    const std::vector<Vector> known = KnownAnswers();
    ASSERT_EQ(known.size(), 8u);
    std::array<std::string, 8> messages;
    for (std::size_t lane = 0; lane < 8; ++lane) messages[lane] = known[lane].message;
    const std::array<std::string, 8> digests = DigestsInLanes(messages);
    for (std::size_t lane = 0; lane < 8; ++lane) EXPECT_EQ(digests[lane], known[lane].digest);

    const std::size_t lengths[] = {0, 1, 55, 56, 63, 64, 65, 127, 128, 129, 4099, 1 << 16};
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        for (std::size_t lane = 0; lane < 8; ++lane) {
            // The first round takes the edges in order, the others at random.
            const std::size_t pick = round == 0 ? lane : random() % std::size(lengths);
            messages[lane].resize(lengths[pick]);
            for (char& c : messages[lane]) c = static_cast<char>(random());
        }
        const std::array<std::string, 8> inLanes = DigestsInLanes(messages);
        for (std::size_t lane = 0; lane < 8; ++lane) {
            ASSERT_EQ(inLanes[lane], Digest(Sha256Engine::kPortable, messages[lane]))
                << "round " << round << ", lane " << lane << ": " << messages[lane].size()
                << " bytes";
        }
    }
}

// The FIPS long message: 2^30 bytes, past every 32-bit count, through whichever engine runs.
TEST(Sha256, GibibyteLongMessage) {
    const std::string unit = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno";
    std::string chunk;
    for (int i = 0; i < 16384; ++i) chunk += unit;  // 1 MiB
    Sha256 hash;
    for (int i = 0; i < 1024; ++i) hash.Update(chunk.data(), chunk.size());
    EXPECT_EQ(ToUpperHex(hash.Final()),
              "50E72A0E26442FE2552DC3938AC58658228C0CBFB1D2CA872AE435266FCD055E");
}

}  // namespace
