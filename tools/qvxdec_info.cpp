#include "qvxdec_info.h"

#include <memory>

#include "base/error.h"
#include "cli_common.h"
#include "codestream/header.h"
#include "codestream/packet_walk.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"

namespace qvxtools {

using namespace Vantrel::QVX;

namespace {

// Walks the packets as the decoder does and keeps what --info reports,
// including the walk's diagnostics, which only this report asks for.
struct InfoSink {
    static constexpr bool kCountOnly = false;
    static constexpr bool kDiagnostics = true;
    void word(uint32_t, uint32_t stream) { ++words[stream & 63]; }
    void packet_end(uint32_t) { ++packets; }
    void diagnostic(const char* text) {
        std::string line = text ? text : "";
        while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
        messages.push_back(line);
    }

    uint64_t words[64] = {};
    uint64_t packets = 0;
    std::vector<std::string> messages;
};

// Entropy-decodes the frame as decode would and records which subband
// streams run dry. before: the decoder state ahead of this stream's header.
void check_subbands(const std::vector<uint8_t>& bytes, const FrameState& before, uint64_t max_pixels,
                    StreamInfo& info) {
    std::vector<uint8_t> copy = bytes;
    mem_data in(copy.data(), copy.size(), 0);
    FrameState fs = before;
    Demultiplexer streams;
    uint64_t needed[64] = {};
    ImageMemory planes;
    try {
        read_header(in, fs);
        const uint64_t pixels = uint64_t(fs.width) * fs.height;
        if (max_pixels != 0 && pixels > max_pixels) {
            info.problems.push_back("frame of " + std::to_string(fs.width) + "x" + std::to_string(fs.height) +
                                    " pixels is above --max-pixels " + std::to_string(max_pixels) + "; not checked");
            return;
        }
        frame_setup(fs, planes);
        decode_subbands(fs, planes, in, streams, 1, needed);
    } catch (const QvxError& e) {
        const std::string text = e.text();
        info.problems.push_back(text == "Missing subband data"
                                    ? "the packets end before the frame does (Missing subband data)"
                                    : "the subbands cannot be decoded: " + text);
    }
    unsigned short_streams = 0;
    for (unsigned s = 0; s < info.components * 16; ++s) {
        const uint64_t have = streams.stream_words(s).size();
        if (needed[s] > have) {
            info.missing_words[s] = needed[s] - have;
            ++short_streams;
        }
    }
    if (short_streams != 0) {
        std::string line = std::to_string(short_streams) + " subband streams lack words the frame needs " +
                           "(component.subband: words missing):";
        for (unsigned s = 0; s < info.components * 16; ++s)
            if (info.missing_words[s]) {
                char item[48];
                std::snprintf(item, sizeof item, " %u.%u:%llu", s / 16, s % 16,
                              static_cast<unsigned long long>(info.missing_words[s]));
                line += item;
            }
        info.problems.push_back(line);
    }
}

void print_header(const FrameState& fs, std::FILE* out) {
    std::fprintf(out, "  version          %u\n", fs.version);
    std::fprintf(out, "  size             %u x %u (stored width %u)\n", fs.width, fs.height, fs.stored_width);
    std::fprintf(out, "  components       %u (component format %u)\n", fs.num_components, fs.component_format);
    std::fprintf(out, "  bit depth        %u\n", fs.bit_depth);
    std::fprintf(out, "  wavelet kernel   %u\n", fs.w_kernel);
    std::fprintf(out, "  colour mode      %u\n", fs.ct_mode);
    std::fprintf(out, "  prediction mode  %u\n", fs.pred_mode);
    std::fprintf(out, "  tone table       %s\n", fs.lut_used == 1 ? "used" : "not used");
    std::fprintf(out, "  bayer mode       %u (param %u)\n", fs.bayer_mode, fs.bayer_param);
    std::fprintf(out, "  rate control     window %d, drain %u, buffer %u, fill level %u\n", fs.rc_window,
                 fs.rc_drain, fs.buffer_size, fs.fill_level);
    std::fprintf(out, "  qp table         %u entries", fs.qp_count);
    for (unsigned i = 0; i < fs.qp_count; ++i)
        std::fprintf(out, i % 16 == 0 ? "\n    %4d" : " %4d", fs.qp_entry(i));
    std::fprintf(out, "\n");
}

}  // namespace

StreamInfo inspect_stream(const std::string& path, const std::vector<uint8_t>& bytes, FrameState& fs,
                          uint64_t max_pixels) {
    StreamInfo info;
    info.path = path;
    info.file_bytes = bytes.size();
    const FrameState before = fs;
    std::vector<uint8_t> copy = bytes;
    mem_data in(copy.data(), copy.size(), 0);
    try {
        read_header(in, fs);
    } catch (const QvxError& e) {
        info.problems.push_back("header: " + e.text());
        return info;
    }
    info.header_ok = true;
    info.header_bytes = in.bytes_read;
    if (in.bytes_read > bytes.size()) {
        info.problems.push_back("the header runs past the end of the input");
        return info;
    }
    InfoSink parser;
    try {
        packet_walk::walk(fs, in, parser);
    } catch (const QvxError& e) {
        info.problems.push_back("packets: " + e.text());
    }
    info.packets = parser.packets;
    info.bytes_parsed = in.bytes_read;
    info.components = fs.num_components <= 4 ? fs.num_components : 4;
    for (unsigned s = 0; s < 64; ++s) info.stream_bytes[s] = parser.words[s] * 4;
    for (const std::string& m : parser.messages) info.problems.push_back("packets: " + m);
    check_subbands(bytes, before, max_pixels, info);
    return info;
}

void print_stream_info(const StreamInfo& info, const FrameState& fs, std::FILE* out, std::FILE* err) {
    std::fprintf(out, "%s: %llu bytes\n", info.path.c_str(), static_cast<unsigned long long>(info.file_bytes));
    if (info.header_ok) {
        print_header(fs, out);
        std::fprintf(out, "  header bytes     %llu\n", static_cast<unsigned long long>(info.header_bytes));
        std::fprintf(out, "  packets          %llu\n", static_cast<unsigned long long>(info.packets));
        std::fprintf(out, "  bytes parsed     %llu\n", static_cast<unsigned long long>(info.bytes_parsed));
        std::fprintf(out, "  stream bytes     subbands 0 to 15 of each component\n");
        for (unsigned c = 0; c < info.components; ++c) {
            std::fprintf(out, "    component %u:", c);
            for (unsigned s = 0; s < 16; ++s)
                std::fprintf(out, " %llu", static_cast<unsigned long long>(info.stream_bytes[c * 16 + s]));
            std::fprintf(out, "\n");
        }
    }
    std::fprintf(out, "  check            %s\n", info.problems.empty() ? "complete" : "FAILED (see standard error)");
    for (const std::string& p : info.problems) std::fprintf(err, "qvxdec: %s: %s\n", info.path.c_str(), p.c_str());
}

std::string stream_info_json(const StreamInfo& info, const FrameState& fs) {
    auto num = [](uint64_t v) { return std::to_string(v); };
    std::string j = "{\"input\": " + json_string(info.path) + ", \"bytes\": " + num(info.file_bytes) +
                    ", \"ok\": " + (info.problems.empty() ? "true" : "false");
    if (info.header_ok) {
        j += ", \"version\": " + num(fs.version) + ", \"width\": " + num(fs.width) + ", \"height\": " +
             num(fs.height) + ", \"stored_width\": " + num(fs.stored_width) + ", \"components\": " +
             num(fs.num_components) + ", \"component_format\": " + num(fs.component_format) +
             ", \"bit_depth\": " + num(fs.bit_depth) + ", \"wavelet_kernel\": " + num(fs.w_kernel) +
             ", \"colour_mode\": " + num(fs.ct_mode) + ", \"prediction_mode\": " + num(fs.pred_mode) +
             ", \"tone_table\": " + (fs.lut_used == 1 ? "true" : "false") + ", \"bayer_mode\": " +
             num(fs.bayer_mode) + ", \"bayer_param\": " + num(fs.bayer_param) + ", \"rc_window\": " +
             std::to_string(fs.rc_window) + ", \"rc_drain\": " + num(fs.rc_drain) + ", \"buffer_size\": " +
             num(fs.buffer_size) + ", \"fill_level\": " + num(fs.fill_level) + ", \"qp_table\": [";
        for (unsigned i = 0; i < fs.qp_count; ++i) {
            if (i) j += ", ";
            j += std::to_string(fs.qp_entry(i));
        }
        j += "], \"header_bytes\": " + num(info.header_bytes) + ", \"packets\": " + num(info.packets) +
             ", \"bytes_parsed\": " + num(info.bytes_parsed) + ", \"stream_bytes\": [";
        for (unsigned c = 0; c < info.components; ++c) {
            j += c ? ", [" : "[";
            for (unsigned s = 0; s < 16; ++s) {
                if (s) j += ", ";
                j += num(info.stream_bytes[c * 16 + s]);
            }
            j += "]";
        }
        j += "], \"missing_words\": [";
        for (unsigned c = 0; c < info.components; ++c) {
            j += c ? ", [" : "[";
            for (unsigned s = 0; s < 16; ++s) {
                if (s) j += ", ";
                j += num(info.missing_words[c * 16 + s]);
            }
            j += "]";
        }
        j += "]";
    }
    j += ", \"problems\": [";
    for (size_t i = 0; i < info.problems.size(); ++i) {
        if (i) j += ", ";
        j += json_string(info.problems[i]);
    }
    return j + "]}";
}

}  // namespace qvxtools
