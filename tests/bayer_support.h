// Helpers shared by the Bayer tests: running code that may end the process
// in a child, and running the Bayer writer on hand-made component planes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "api/QVXDecoder.h"
#include "codestream/frame_state.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "output/bayer.h"

namespace bayer_test {

struct ChildResult {
    int exit_code = -1;  // -1 when the child did not exit normally
    std::string out;     // everything the child wrote to standard output
};

// Runs f in a forked child with standard output on a pipe. A child whose f
// returns exits with code 99.
template <typename F>
ChildResult run_in_child(F f) {
    ChildResult r;
    int fds[2];
    if (pipe(fds) != 0) return r;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        close(fds[1]);
        f();
        std::fflush(stdout);
        _exit(99);
    }
    close(fds[1]);
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) r.out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    return r;
}

// A frame_state with an out_store the way frame setup makes it, filled from
// row-major planes of width x height, plus a codec to write with.
struct WriterRig {
    Vantrel::QVX::frame_state fs;
    std::unique_ptr<Vantrel::QVX::QVXCodec> codec;

    WriterRig(unsigned width, unsigned height, unsigned nc, unsigned bit_depth, uint8_t bayer_mode,
              uint8_t bayer_param = 0, uint8_t ct_mode = 0, unsigned stored_width = 0) {
        fs.width = uint16_t(width);
        fs.height = uint16_t(height);
        fs.stored_width = uint16_t(stored_width ? stored_width : width);
        fs.num_components = uint8_t(nc);
        fs.bit_depth = uint8_t(bit_depth);
        fs.bayer_mode = bayer_mode;
        fs.bayer_param = bayer_param;
        fs.ct_mode = ct_mode;
        fs.out_store = new Vantrel::QVX::image_memory(uint16_t(width), uint16_t(height), uint8_t(nc), 1, 0);
        codec = std::make_unique<Vantrel::QVX::QVXCodec>(&fs);
    }
    ~WriterRig() { Vantrel::QVX::frame_release(fs); }
    WriterRig(const WriterRig&) = delete;
    WriterRig& operator=(const WriterRig&) = delete;

    void set(unsigned c, unsigned x, unsigned y, int value) { fs.out_store->at(c, x, y) = uint16_t(value); }
    void fill(unsigned c, int value) {
        for (unsigned y = 0; y < fs.height; ++y)
            for (unsigned x = 0; x < fs.width; ++x) set(c, x, y, value);
    }
    void load(unsigned c, const std::vector<uint16_t>& plane) {
        std::copy(plane.begin(), plane.end(), fs.out_store->plane(c));
    }

    size_t buffer_bytes() const { return size_t(fs.num_components) * fs.width * fs.height * 2; }

    // Runs write_bayer into a zeroed buffer of the pipeline's size; returns
    // the whole buffer.
    std::vector<uint8_t> write() {
        std::vector<uint8_t> out(buffer_bytes(), 0);
        written = Vantrel::QVX::write_bayer(*codec, out.data(), fs);
        return out;
    }
    uint32_t written = 0;
};

// The first `count` big-endian words of a buffer.
inline std::vector<uint16_t> words_of(const std::vector<uint8_t>& bytes, size_t count) {
    std::vector<uint16_t> w(count);
    for (size_t i = 0; i < count; ++i) w[i] = uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return w;
}

}  // namespace bayer_test
