// Decoding speed of every .qvx file in $QVX_BENCH_DIR (default: the
// repository's samples/), in bytes and megapixels per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "qvx/SimpleQvxDecoder.h"

namespace {

namespace fs = std::filesystem;

struct Stream {
    std::string name;
    std::vector<uint8_t> bytes;
    double pixels = 0;
};

std::vector<fs::path> qvx_files(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec) && it->path().extension() == ".qvx") files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

// Reads a stream and checks that it decodes; false (with a note) if not.
bool load(const fs::path& path, Stream& s) {
    std::ifstream f(path, std::ios::binary);
    s.bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    s.name = path.filename().string();
    Vantrel::QVX::FrameState header;
    mem_data probe(s.bytes.data(), s.bytes.size(), 0);
    try {
        Vantrel::QVX::read_header(probe, header);
    } catch (const Vantrel::QVX::QvxError& e) {
        std::fprintf(stderr, "skipping %s: %s\n", s.name.c_str(), e.text().c_str());
        return false;
    }
    if (header.bayer_mode > 5) {
        std::fprintf(stderr, "skipping %s: Bayer mode %u\n", s.name.c_str(), header.bayer_mode);
        return false;
    }
    s.pixels = double(header.width) * header.height;
    Vantrel::QVX::SimpleQvxDecoder decoder;
    mem_data in(s.bytes.data(), s.bytes.size(), 0);
    mem_data* out = nullptr;
    if (decoder.decode(&in, &out) != 0) {
        std::fprintf(stderr, "skipping %s: %s\n", s.name.c_str(), decoder.lastError());
        return false;
    }
    decoder.deleteBuffer(&out);
    return true;
}

void decode_stream(benchmark::State& state, const Stream* s) {
    Vantrel::QVX::SimpleQvxDecoder decoder;
    std::vector<uint8_t> bytes = s->bytes;
    for (auto _ : state) {
        mem_data in(bytes.data(), bytes.size(), 0);
        mem_data* out = nullptr;
        if (decoder.decode(&in, &out) != 0) {
            state.SkipWithError(decoder.lastError());
            break;
        }
        benchmark::DoNotOptimize(out->data);
        decoder.deleteBuffer(&out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["MP/s"] = benchmark::Counter(s->pixels * 1e-6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

// The entropy stage alone (parsing, stream decoding, rate-control model,
// reconstruction into the working planes) on `threads` threads. The coefficient
// planes are written once before timing, as planes reused across calls are.
void entropy_stage(benchmark::State& state, const Stream* s, unsigned threads) {
    using namespace Vantrel::QVX;
    std::vector<uint8_t> bytes = s->bytes;
    for (auto _ : state) {
        state.PauseTiming();
        FrameState fs;
        mem_data in(bytes.data(), bytes.size(), 0);
        Demultiplexer streams;
        ImageMemory planes;
        read_header(in, fs);
        frame_setup(fs, planes);
        for (unsigned c = 0; c < planes.num_components(); ++c)
            std::fill_n(planes.plane(c), planes.plane_size(), uint16_t(0x5555));
        state.ResumeTiming();
        try {
            decode_subbands(fs, planes, in, streams, threads);
        } catch (const QvxError& e) {
            state.SkipWithError(e.text().c_str());
        }
    }
    state.counters["MP/s"] = benchmark::Counter(s->pixels * 1e-6 * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* env = std::getenv("QVX_BENCH_DIR");
    const fs::path dir = env && *env ? env : QVX_DEFAULT_BENCH_DIR;

    static std::vector<Stream> streams;  // outlives the registered benchmarks
    for (const fs::path& p : qvx_files(dir)) {
        Stream s;
        if (load(p, s)) streams.push_back(std::move(s));
    }
    if (streams.empty()) {
        std::printf("no decodable .qvx files in %s (set QVX_BENCH_DIR)\n", dir.string().c_str());
        return 0;
    }
    for (const Stream& s : streams)
        benchmark::RegisterBenchmark(("decode/" + s.name).c_str(), decode_stream, &s)->Unit(benchmark::kMillisecond);
    for (const Stream& s : streams)
        for (unsigned threads : {1u, 2u})
            benchmark::RegisterBenchmark(("entropy/" + s.name + "/threads:" + std::to_string(threads)).c_str(),
                                         entropy_stage, &s, threads)
                ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
