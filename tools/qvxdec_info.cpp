#include "qvxdec_info.h"

#include <cstdio>

#include "api/error.h"
#include "codestream/demultiplexer.h"
#include "codestream/header.h"

namespace qvxtools {

using namespace Vantrel::QVX;

namespace {

void print_header(const frame_state& fs) {
    std::printf("  version          %u\n", fs.version);
    std::printf("  size             %u x %u (stored width %u)\n", fs.width, fs.height, fs.stored_width);
    std::printf("  components       %u (component format %u)\n", fs.num_components, fs.component_format);
    std::printf("  bit depth        %u\n", fs.bit_depth);
    std::printf("  wavelet kernel   %u\n", fs.w_kernel);
    std::printf("  colour mode      %u\n", fs.ct_mode);
    std::printf("  prediction mode  %u\n", fs.pred_mode);
    std::printf("  tone table       %s\n", fs.lut_used == 1 ? "used" : "not used");
    std::printf("  bayer mode       %u (param %u)\n", fs.bayer_mode, fs.bayer_param);
    std::printf("  rate control     window %d, drain %u, buffer %u, fill level %u\n", fs.rc_window,
                fs.rc_drain, fs.buffer_size, fs.fill_level);
    std::printf("  qp table         %u entries", fs.qp_count);
    for (unsigned i = 0; i < fs.qp_count; ++i) std::printf(i % 16 == 0 ? "\n    %4d" : " %4d", fs.qp_entry(i));
    std::printf("\n");
}

}  // namespace

bool print_stream_info(const std::string& path, const std::vector<uint8_t>& bytes, frame_state& fs) {
    mem_data in(const_cast<uint8_t*>(bytes.data()), bytes.size(), 0);
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    try {
        read_header(in, fs);
    } catch (const QvxError& e) {
        print_header(fs);
        std::printf("  header error     %s\n", e.text().c_str());
        return false;
    }
    print_header(fs);
    std::printf("  header bytes     %llu\n", static_cast<unsigned long long>(in.bytes_read));

    NXRQvxDemultiplexer demux;
    demux.byte_swap = fs.version == 0;
    try {
        demux.parse(fs, in);
    } catch (const QvxError& e) {
        std::printf("  codestream error %s\n", e.text().c_str());
        return false;
    }
    std::printf("  packets          %zu\n", demux.dominant_list().size());
    std::printf("  bytes parsed     %llu\n", static_cast<unsigned long long>(in.bytes_read));
    std::printf("  stream bytes     subbands 0 to 15 of each component\n");
    const unsigned components = fs.num_components <= 4 ? fs.num_components : 4;
    for (unsigned c = 0; c < components; ++c) {
        std::printf("    component %u:", c);
        for (unsigned s = 0; s < 16; ++s) std::printf(" %zu", demux.stream_words(c * 16 + s).size() * 4);
        std::printf("\n");
    }
    return true;
}

}  // namespace qvxtools
