// Each allocation of a decode call made to fail in turn, over the regression
// corpus (every 16th stream; all of them with QVX_SLOW_TESTS, or the range
// QVX_ALLOC_STREAMS=FIRST:COUNT of the manifest): the failure
// leaves the call as std::bad_alloc or the decoder's own "malloc failed"
// result, nothing leaks, and the same object then decodes the stream exactly
// as a fresh decoder does. Through the C interface the failure is an error
// code and every block is given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "alloc_hook.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvx/qvx.h"
#include "regression/corpus.h"

using Vantrel::QVX::SimpleQvxDecoder;

namespace {

const std::string kRoot = QVX_SOURCE_DIR;
#ifdef QVX_SLOW_TESTS
constexpr size_t kStride = 1;
#else
constexpr size_t kStride = 16;
#endif
constexpr const char* kMallocFailed = "ERROR: malloc failed";

struct Case {
    qvxreg::Entry entry;
    qvxreg::Bytes bytes;
    std::string lut;                   // absolute path or empty
    std::vector<qvxreg::Record> expected;  // planar, interleaved
};

std::vector<Case> corpus_sample() {
    const auto manifest = qvxreg::read_manifest(kRoot + "/tests/regression/manifest.txt");
    const auto single = qvxreg::read_expectations(kRoot + "/tests/regression/expected.txt", 'S');
    size_t first = 0, end = manifest.size(), stride = kStride;
    if (const char* range = std::getenv("QVX_ALLOC_STREAMS")) {
        char* colon = nullptr;
        first = std::strtoul(range, &colon, 10);
        end = std::min(end, first + std::strtoul(colon + (*colon == ':'), nullptr, 10));
        stride = 1;
    }
    std::vector<Case> r;
    for (size_t i = first; i < end; i += stride) {
        const qvxreg::Entry& e = manifest[i];
        r.push_back({e, qvxreg::read_file(kRoot + "/" + e.path), qvxreg::lut_arg(kRoot, e.lut),
                     {single.at(2 * i), single.at(2 * i + 1)}});
    }
    return r;
}

}  // namespace

TEST(AllocationFailure, DecoderStaysUsableAndLeaksNothing) {
    size_t failures = 0, thrown = 0;
    for (const Case& c : corpus_sample()) {
        for (bool inter : {false, true}) {
            const qvxreg::Record& want = c.expected[inter];
            for (size_t n = 1;; ++n) {
                SimpleQvxDecoder d;
                qvxreg::configure(d, kRoot, c.entry.lut, inter);
                d.setQuiet(true);
                qvxreg::Bytes copy = c.bytes;
                mem_data in(copy.empty() ? nullptr : copy.data(), copy.size());
                mem_data* out = nullptr;
                int rc = -1;
                bool threw = false;
                alloc_hook::arm(n);
                try {
                    rc = d.decode(&in, &out);
                } catch (const std::bad_alloc&) {
                    threw = true;
                }
                const alloc_hook::Report r = alloc_hook::disarm();
                const std::string where = c.entry.path + (inter ? " interleaved" : " planar") + " allocation " +
                                          std::to_string(n) + " of " + std::to_string(r.count);
                if (!threw && rc == 0) {
                    ASSERT_EQ(want.rc, "0") << where;
                    ASSERT_NE(out, nullptr) << where;
                    EXPECT_EQ(qvxtest::sha256_hex(out->data, size_t(out->size)), want.sha256) << where;
                    d.deleteBuffer(&out);
                } else if (!threw) {
                    // A refused temporary the decoder reports itself.
                    ASSERT_EQ(rc, 1) << where;
                    EXPECT_EQ(out, nullptr) << where;
                    const std::string error = qvxreg::escape(d.lastError());
                    EXPECT_TRUE(error == want.error || (r.failed && error == kMallocFailed)) << where << ": " << error;
                }
                thrown += threw;
                d.setQuiet(false);
                const qvxreg::Record next(want.kind, want.path, want.lut, want.arrangement,
                                          qvxreg::decode_with(d, c.bytes, kRoot + "/"));
                ASSERT_EQ(next.outcome_text(), want.outcome_text()) << "the call after " << where;
                d = SimpleQvxDecoder();
                ASSERT_EQ(alloc_hook::live(), 0u) << where;
                if (!r.failed) break;
                ++failures;
            }
        }
    }
    std::printf("%zu failed allocations, %zu of them thrown\n", failures, thrown);
    if (std::getenv("QVX_ALLOC_STREAMS")) return;  // a slice: the counts below are for the sample
    EXPECT_GT(thrown, 0u);
    EXPECT_GT(failures, 1000u);
}

TEST(AllocationFailure, CInterfaceReturnsItsCodeAndLeaksNothing) {
    size_t memory_errors = 0;
    for (const Case& c : corpus_sample()) {
        const qvxreg::Record& want = c.expected[0];
        qvx_settings s;
        qvx_settings_init(&s);
        s.lut_path = c.lut.empty() ? nullptr : c.lut.c_str();
        // The probe keeps its last message per thread: sized here, before
        // the counting starts.
        qvx_frame_info info;
        qvx_probe(c.bytes.data(), c.bytes.size(), &s, &info, nullptr);
        for (size_t n = 1;; ++n) {
            alloc_hook::arm(n);
            qvx_decoder* d = nullptr;
            qvx_frame f{};
            const int create = qvx_decoder_create(&s, &d);
            const int rc = create == QVX_OK ? qvx_decode(d, c.bytes.data(), c.bytes.size(), &f) : create;
            const char* probe_error = nullptr;
            const int probed = qvx_probe(c.bytes.data(), c.bytes.size(), &s, &info, &probe_error);
            const alloc_hook::Report r = alloc_hook::disarm();
            const std::string where = c.entry.path + " allocation " + std::to_string(n);
            // The probe of a stream that decodes fails only for want of memory.
            if (probed == QVX_ERROR_MEMORY) {
                EXPECT_STREQ(probe_error, "Error: out of memory") << where;
            } else if (want.rc == "0") {
                EXPECT_EQ(probed, QVX_OK) << where << ": " << probe_error;
            }
            const std::string error = d ? qvxreg::escape(qvx_last_error(d)) : "";
            if (rc == QVX_OK) {
                EXPECT_EQ(want.rc, "0") << where;
                EXPECT_EQ(qvxtest::sha256_hex(f.data, size_t(f.info.buffer_bytes)), want.sha256) << where;
            } else if (rc == QVX_ERROR_MEMORY) {
                EXPECT_TRUE(r.failed) << where;
                EXPECT_EQ(error, create == QVX_OK ? "Error: out of memory" : "") << where;
                ++memory_errors;
            } else {
                ASSERT_EQ(rc, QVX_ERROR_STREAM) << where;
                EXPECT_TRUE(error == want.error || (r.failed && error == kMallocFailed)) << where << ": " << error;
            }
            qvx_frame_free(&f);
            qvx_decoder_destroy(d);
            ASSERT_EQ(alloc_hook::live(), 0u) << where;
            if (!r.failed) break;
        }
    }
    std::printf("%zu memory errors\n", memory_errors);
    if (!std::getenv("QVX_ALLOC_STREAMS")) {
        EXPECT_GT(memory_errors, 100u);
    }
}

// Every block from operator new starts as garbage here: each stream of the
// corpus still decodes to the stored bytes, so no writer or stage relies on
// memory it did not write (the output buffer, temporaries, the tone table).
TEST(GarbageMemory, EveryStreamDecodesAsStored) {
    const auto manifest = qvxreg::read_manifest(kRoot + "/tests/regression/manifest.txt");
    const auto single = qvxreg::read_expectations(kRoot + "/tests/regression/expected.txt", 'S');
    const auto got = qvxreg::decode_all(kRoot, manifest, 1);
    ASSERT_EQ(got.size(), single.size());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i].outcome_text(), single[i].outcome_text()) << single[i].key();
}
