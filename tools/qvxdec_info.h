// qvxdec --info: the stream header, the packets and subband stream sizes,
// and whether the packets hold everything the frame needs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codestream/frame_state.h"

namespace qvxtools {

struct StreamInfo {
    std::string path;
    uint64_t file_bytes = 0;
    bool header_ok = false;
    uint64_t header_bytes = 0;
    uint64_t packets = 0;
    uint64_t bytes_parsed = 0;
    unsigned components = 0;
    uint64_t stream_bytes[64] = {};
    // Words each subband stream lacks for the whole frame (0: complete).
    uint64_t missing_words[64] = {};
    // One line each: what makes the stream undecodable or suspect.
    std::vector<std::string> problems;
};

// Reads and checks one stream. fs carries header fields over from earlier
// streams, as one decoder object would; max_pixels (0: none) stops the
// check of frames above that many pixels.
StreamInfo inspect_stream(const std::string& path, const std::vector<uint8_t>& bytes,
                          Vantrel::QVX::FrameState& fs, uint64_t max_pixels);

// Text report on out; the problems go to err, one "qvxdec: path: ..." line each.
void print_stream_info(const StreamInfo& info, const Vantrel::QVX::FrameState& fs, std::FILE* out,
                       std::FILE* err);
// One JSON object, no trailing newline.
std::string stream_info_json(const StreamInfo& info, const Vantrel::QVX::FrameState& fs);

}  // namespace qvxtools
