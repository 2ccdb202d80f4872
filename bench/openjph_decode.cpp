#include "openjph_decode.h"

#include <exception>

#include <ojph_arch.h>
#include <ojph_codestream.h>
#include <ojph_file.h>
#include <ojph_mem.h>
#include <ojph_params.h>

namespace qvxbench {

namespace {

void store_line(const ojph::si32* src, uint16_t* dst, uint32_t n, ojph::si32 top) {
    for (uint32_t i = 0; i < n; ++i) {
        const ojph::si32 v = src[i];
        dst[i] = uint16_t(v < 0 ? 0 : v > top ? top : v);
    }
}

}  // namespace

bool openjph_decode(const uint8_t* data, size_t size, OpenjphFrame& out, std::string& error) {
    try {
        ojph::mem_infile file;
        file.open(data, size);
        ojph::codestream cs;
        cs.read_headers(&file);
        cs.create();
        ojph::param_siz siz = cs.access_siz();
        const uint32_t comps = siz.get_num_components();
        const uint32_t w = siz.get_recon_width(0), h = siz.get_recon_height(0);
        for (uint32_t c = 0; c < comps; ++c)
            if (siz.get_recon_width(c) != w || siz.get_recon_height(c) != h || siz.is_signed(c) ||
                siz.get_bit_depth(c) > 16) {
                error = "only unsigned, unsubsampled components of up to 16 bits are compared";
                return false;
            }
        out.width = w;
        out.height = h;
        out.components = comps;
        out.levels = cs.access_cod().get_num_decompositions();
        out.reversible = cs.access_cod().is_reversible();
        out.samples.reset(new uint16_t[out.size()]);
        const size_t plane = size_t(w) * h;
        if (cs.is_planar()) {
            for (uint32_t c = 0; c < comps; ++c) {
                const ojph::si32 top = (ojph::si32(1) << siz.get_bit_depth(c)) - 1;
                for (uint32_t y = 0; y < h; ++y) {
                    ojph::ui32 got = 0;
                    ojph::line_buf* line = cs.pull(got);
                    store_line(line->i32, out.samples.get() + got * plane + size_t(y) * w, w, top);
                }
            }
        } else {
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t c = 0; c < comps; ++c) {
                    ojph::ui32 got = 0;
                    ojph::line_buf* line = cs.pull(got);
                    const ojph::si32 top = (ojph::si32(1) << siz.get_bit_depth(got)) - 1;
                    store_line(line->i32, out.samples.get() + got * plane + size_t(y) * w, w, top);
                }
        }
        cs.close();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

}  // namespace qvxbench
