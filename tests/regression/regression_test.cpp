// The regression corpus (tests/regression/README.md): every stream of the
// manifest decoded as a host decodes it, planar and interleaved, and a chain
// of streams on one decoder object, compared field by field with the
// expectations that the decoder of the time wrote. Parameterised over the
// decoder's thread count: every count must give the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "regression/corpus.h"

namespace {

const std::string kRoot = QVX_SOURCE_DIR, kExpected = kRoot + "/tests/regression/expected.txt";

// Every stream file of the corpus is in the manifest, and every manifest
// entry has its two records.
TEST(RegressionCorpus, ManifestCoversTheStreams) {
    const auto manifest = qvxreg::read_manifest(kRoot + "/tests/regression/manifest.txt");
    std::set<std::string> listed;
    for (const auto& e : manifest) listed.insert(e.path);
    for (const auto& f : std::filesystem::directory_iterator(kRoot + "/tests/regression/streams")) {
        EXPECT_TRUE(listed.count("tests/regression/streams/" + f.path().filename().string()))
            << f.path() << " is not in the manifest";
    }
    for (const auto& f : std::filesystem::directory_iterator(kRoot + "/samples")) {
        if (f.path().extension() != ".qvx") continue;
        EXPECT_TRUE(listed.count("samples/" + f.path().filename().string())) << f.path() << " is not in the manifest";
    }
    EXPECT_EQ(qvxreg::read_expectations(kExpected, 'S').size(), 2 * manifest.size());
}

class Regression : public testing::TestWithParam<unsigned> {
protected:
    // Compares decoded records with the stored ones of the same kind
    // ("S" or the sequence), reporting the first mismatch by name.
    static void compare(const std::vector<qvxreg::Record>& got, bool sequence) {
        const auto want = qvxreg::read_expectations(kExpected, sequence ? 'Q' : 'S');
        ASSERT_EQ(got.size(), want.size()) << "the corpus and its expectations differ in size";
        size_t mismatches = 0;
        std::string first;
        for (size_t i = 0; i < got.size(); ++i) {
            if (got[i].key() == want[i].key() && got[i].outcome_text() == want[i].outcome_text()) continue;
            if (mismatches++ == 0)
                first = want[i].key() + "\n  expected " + want[i].outcome_text() + "\n  got      " + got[i].key() +
                        "\n           " + got[i].outcome_text();
        }
        EXPECT_EQ(mismatches, 0u) << mismatches << " of " << got.size() << " records differ; the first:\n" << first;
    }
};

TEST_P(Regression, EveryStreamPlanarAndInterleaved) {
    const auto manifest = qvxreg::read_manifest(kRoot + "/tests/regression/manifest.txt");
    compare(qvxreg::decode_all(kRoot, manifest, GetParam()), false);
}

TEST_P(Regression, OneDecoderThroughTheSequence) {
    compare(qvxreg::decode_sequence(kRoot, kRoot + "/tests/regression/sequence.txt", GetParam()), true);
}

// Decoder objects on separate host threads, each sharing its work with
// threads of its own: each takes every third stream of the corpus and then
// the whole sequence, and must give exactly the stored records.
TEST(RegressionThreads, DecodersOnSeveralHostThreads) {
    const auto manifest = qvxreg::read_manifest(kRoot + "/tests/regression/manifest.txt");
    const auto single = qvxreg::read_expectations(kExpected, 'S'), sequence = qvxreg::read_expectations(kExpected, 'Q');
    constexpr unsigned kHosts = 3;
    std::vector<std::string> mismatches(kHosts);
    std::vector<std::thread> hosts;
    for (unsigned t = 0; t < kHosts; ++t)
        hosts.emplace_back([&, t] {
            std::string lines;
            auto check = [&](Vantrel::QVX::SimpleQvxDecoder& dec, const qvxreg::Record& want) {
                const qvxreg::Record got(want.kind, want.path, want.lut, want.arrangement,
                                         qvxreg::decode_with(dec, qvxreg::read_file(kRoot + "/" + want.path), kRoot + "/", &lines));
                if (got.outcome_text() != want.outcome_text() && mismatches[t].empty())
                    mismatches[t] = want.key() + "\n  expected " + want.outcome_text() + "\n  got      " + got.outcome_text();
            };
            for (size_t i = t; i < manifest.size(); i += kHosts)
                for (bool inter : {false, true}) {
                    Vantrel::QVX::SimpleQvxDecoder dec;
                    dec.setThreads(2);
                    qvxreg::configure(dec, kRoot, manifest[i].lut, inter);
                    check(dec, single[2 * i + inter]);
                }
            Vantrel::QVX::SimpleQvxDecoder dec;
            dec.setThreads(2);
            for (const qvxreg::Record& want : sequence) {
                qvxreg::configure(dec, kRoot, want.lut, want.arrangement == "interleaved");
                check(dec, want);
            }
        });
    for (std::thread& h : hosts) h.join();
    for (unsigned t = 0; t < kHosts; ++t) EXPECT_EQ(mismatches[t], "") << "host thread " << t;
}

INSTANTIATE_TEST_SUITE_P(Threads, Regression, testing::Values(1u, 3u),
                         [](const testing::TestParamInfo<unsigned>& i) { return "threads" + std::to_string(i.param); });

}  // namespace
