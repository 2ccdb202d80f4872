#include "output/bayer.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "base/error.h"
#include "base/messages.h"
#include "base/mosaic_geometry.h"
#include "frame/image_memory.h"
#include "output/bayer_postprocess.h"
#include "output/lut.h"

namespace Vantrel::QVX {

namespace {

using Components = BayerComponents;

int32_t sample(const Components& p, int c, int x, int y) {
    return p.plane[c][size_t(y) * size_t(p.width) + size_t(x)];
}

// Mode 1: the four sites of each cell come from four quarter planes.
void split_cells(int32_t* m, const Components& p, int W, int H) {
    for (int j = 0; j < H / 2; ++j) {
        int32_t* top = m + size_t(2 * j) * W;
        int32_t* bottom = top + W;
        for (int i = 0; i < W / 2; ++i) {
            top[2 * i] = sample(p, 0, i, j);
            bottom[2 * i + 1] = sample(p, 1, i, j);
            bottom[2 * i] = sample(p, 2, i, j);
            top[2 * i + 1] = sample(p, 3, i, j);
        }
    }
}

// Mode 2: both greens of a cell side by side in component 0, the other two
// sites in components 1 and 2.
void green_pair(int32_t* m, const Components& p, int W, int H, uint8_t bayer_param) {
    const bool greens_on_diagonal = bayer_param == 1 || bayer_param == 3;
    for (int j = 0; j < H / 2; ++j) {
        int32_t* top = m + size_t(2 * j) * W;
        int32_t* bottom = top + W;
        for (int i = 0; i < W / 2; ++i) {
            if (greens_on_diagonal) {
                top[2 * i] = sample(p, 0, 2 * i, j);
                bottom[2 * i + 1] = sample(p, 0, 2 * i + 1, j);
                top[2 * i + 1] = sample(p, 1, i, j);
                bottom[2 * i] = sample(p, 2, i, j);
            } else {
                top[2 * i + 1] = sample(p, 0, 2 * i + 1, j);
                bottom[2 * i] = sample(p, 0, 2 * i, j);
                top[2 * i] = sample(p, 1, i, j);
                bottom[2 * i + 1] = sample(p, 2, i, j);
            }
        }
    }
}

// Mode 5: three vertical strips of width P, the last one possibly cut short.
void strips(int32_t* m, const Components& p, int W, int H) {
    const int P = third_width(W);
    for (int y = 0; y < H; ++y) {
        int32_t* row = m + size_t(y) * W;
        for (int t = 0, start = 0; t < 3 && start < W; ++t, start += P) {
            const int16_t* src = p.plane[t] + size_t(y) * size_t(p.width);
            const int n = std::min(P, W - start);
            for (int x = 0; x < n; ++x) row[start + x] = src[x];
        }
    }
}

// Modes 3 and 4: interleave the four subbands with their offset removed.
void interleave_subbands(int32_t* m, const Components& p, int W, int H, int32_t offset) {
    for (int j = 0; j < H / 2; ++j) {
        int32_t* top = m + size_t(2 * j) * W;
        int32_t* bottom = top + W;
        for (int i = 0; i < W / 2; ++i) {
            top[2 * i] = sample(p, 0, i, j) - offset;
            top[2 * i + 1] = sample(p, 1, i, j) - offset;
            bottom[2 * i] = sample(p, 2, i, j) - offset;
            bottom[2 * i + 1] = sample(p, 3, i, j) - offset;
        }
    }
}

// One-level inverse 5/3 lifting; horizontal passes, then vertical ones.
// Each pass only reads samples of the other parity, so a pass may run row
// by row without changing its result.
void inverse_53(int32_t* m, int W, int H) {
    for (int y = 0; y < H; ++y) {
        int32_t* r = m + size_t(y) * W;
        for (int x = 0; x < W; x += 2) {
            const int xl = x == 0 ? 1 : x - 1;
            r[x] -= (r[xl] + r[x + 1] + 2) >> 2;
        }
        for (int x = 0; x < W; x += 2) {
            const int xr = x + 2 < W - 2 ? x + 2 : W - 2;
            r[x + 1] += (r[x] + r[xr] + 1) >> 1;
        }
    }
    for (int y = 0; y < H; y += 2) {
        int32_t* r = m + size_t(y) * W;
        const int32_t* up = m + size_t(y == 0 ? 1 : y - 1) * W;
        const int32_t* down = r + W;
        for (int x = 0; x < W; ++x) r[x] -= (up[x] + down[x] + 2) >> 2;
    }
    for (int y = 0; y < H; y += 2) {
        const int32_t* r = m + size_t(y) * W;
        int32_t* odd = m + size_t(y + 1) * W;
        const int32_t* next = m + size_t(y + 2 < H - 2 ? y + 2 : H - 2) * W;
        for (int x = 0; x < W; ++x) odd[x] += (next[x] + r[x] + 1) >> 1;
    }
}

// One-level inverse Haar lifting; horizontal pass, then vertical.
void inverse_haar(int32_t* m, int W, int H) {
    for (int y = 0; y < H; ++y) {
        int32_t* r = m + size_t(y) * W;
        for (int x = 0; x < W; x += 2) {
            r[x] -= (r[x + 1] + 1) >> 1;
            r[x + 1] += r[x];
        }
    }
    for (int y = 0; y < H; y += 2) {
        int32_t* even = m + size_t(y) * W;
        int32_t* odd = even + W;
        for (int x = 0; x < W; ++x) {
            even[x] -= (odd[x] + 1) >> 1;
            odd[x] += even[x];
        }
    }
}

void wavelet_mode(int32_t* m, const Components& p, int W, int H, uint32_t bayer_mode, int d, const LineSink* sink) {
    interleave_subbands(m, p, W, H, int32_t(1) << (d + 1));
    if (bayer_mode == 3) inverse_53(m, W, H);
    else inverse_haar(m, W, H);

    const int32_t out_offset = int32_t(1) << (d - 1);
    const int32_t max = int32_t((uint32_t(1) << d) - 1u);
    const size_t n = size_t(W) * size_t(H);
    for (size_t k = 0; k < n; ++k) m[k] = std::max(std::min(m[k] + out_offset, max), int32_t(0));

    if (bayer_mode == 4) {
        int32_t hi = -16384, lo = 16384;
        for (size_t k = 0; k < n; ++k) {
            hi = std::max(hi, m[k]);
            lo = std::min(lo, m[k]);
        }
        print_line(sink, msg::kMaxAfterHaar, hi);
        print_line(sink, msg::kMinAfterHaar, lo);
    }
}

// Each mode must read only inside the coded planes and fill at most the
// output buffer; a frame whose geometry breaks this is rejected. Modes 1 to 4
// work on whole cells and need an even mosaic.
bool mosaic_fits(uint32_t mode, int W, int H, const Components& p, size_t room) {
    if (W < 0 || H < 0 || size_t(W) * size_t(H) > room) return false;
    for (unsigned c = 0; c < bayer_components_needed(mode); ++c)
        if (!p.plane[c]) return false;
    if (mode >= 1 && mode <= 4 && (W % 2 != 0 || H % 2 != 0)) return false;
    int need_w = W, need_h = H;
    if (mode == 1 || mode == 3 || mode == 4) need_w = W / 2, need_h = H / 2;
    else if (mode == 2) need_h = H / 2;
    else if (mode == 5) need_w = W == 0 ? 0 : third_width(W);
    return need_w <= p.width && need_h <= p.height;
}

}  // namespace

unsigned bayer_components_needed(uint32_t bayer_mode) {
    switch (bayer_mode) {
        case 0: return 1;
        case 1: case 3: case 4: return 4;
        case 2: case 5: return 3;
        default: return 0;
    }
}

void bayer_reconstruct(int32_t* mosaic, const BayerComponents& planes, int W, int H, uint32_t bayer_mode,
                       uint8_t bayer_param, int d, uint32_t ct_index, const LineSink* sink) {
    switch (bayer_mode) {
        case 0:
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) mosaic[size_t(y) * W + x] = sample(planes, 0, x, y);
            break;
        case 1: split_cells(mosaic, planes, W, H); break;
        case 2:
            // An unknown arrangement leaves the mosaic as the caller cleared it.
            if (bayer_param <= 3) green_pair(mosaic, planes, W, H, bayer_param);
            break;
        case 3: case 4: wavelet_mode(mosaic, planes, W, H, bayer_mode, d, sink); break;
        case 5: strips(mosaic, planes, W, H); break;
        default:
            std::fputs(msg::kBayerNotImplemented, stdout);
            std::fflush(stdout);
            std::exit(1);
    }
    if (ct_index != 0) bayer_postprocess(mosaic, W, H, d, bayer_param, ct_index);
}

uint32_t write_bayer(ToneTable* table, const char* lut_path, const LineSink* sink, uint8_t* out,
                     const FrameState& fs, const ImageMemory& store) {
    const size_t room = size_t(fs.num_components) * fs.width * fs.height;

    const uint32_t ct_index = ct_index_for_mode(fs.ct_mode);
    const uint32_t mode = fs.bayer_mode;
    const int W = mosaic_width(fs.width, mode, 1, fs.stored_width);
    const int H = mosaic_height(fs.height, mode, 1);
    const int d = mosaic_bit_depth(fs.bit_depth, mode, 1, ct_index);

    if (fs.num_components < bayer_components_needed(mode))
        raise(msg::kBayerComponents);
    // Mosaic depths outside this range cannot come from a valid frame; they
    // would make the offsets and limits meaningless.
    if (d < 1 || d > 16) raise(msg::kBayerDepth);

    BayerComponents planes;
    planes.width = store.width();
    planes.height = store.height();
    for (unsigned c = 0; c < store.num_components() && c < 4; ++c) planes.plane[c] = store.splane(c);

    const size_t cells = size_t(W) * size_t(H);
    if (!mosaic_fits(mode, W, H, planes, room)) raise(msg::kBayerFit);

    // Zeroed so that a mode that fills nothing leaves a defined mosaic.
    std::unique_ptr<int32_t[]> mosaic(new (std::nothrow) int32_t[cells ? cells : 1]());
    if (!mosaic) raise(msg::kMallocFailed);
    bayer_reconstruct(mosaic.get(), planes, W, H, mode, fs.bayer_param, d, ct_index, sink);

    std::optional<SampleMap> map;
    if (fs.lut_used == 1) {
        load_lut(*table, lut_path, uint8_t(d), sink);  // the mosaic's depth
        map = sample_map(*table);
    }
    for (size_t k = 0; k < cells; ++k) {
        uint16_t v = uint16_t(mosaic[k]);
        if (map) v = (*map)(v);
        out[2 * k] = uint8_t(v >> 8);
        out[2 * k + 1] = uint8_t(v);
    }
    // A mosaic smaller than the buffer leaves the rest 0.
    std::memset(out + 2 * cells, 0, 2 * (room - cells));
    return uint32_t(cells * 2);
}

}  // namespace Vantrel::QVX
