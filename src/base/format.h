// Facts of the stream format, in one place for the decoder, the encoder, the
// tools and the tests: header words and limits, components per format, how
// a wavelet kernel stores its subbands, the packet and rate-control
// thresholds, the zero-run code, the colour matrices.
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

// ---- stream header --------------------------------------------------------

// A versioned header starts with these two little-endian words.
inline constexpr uint16_t kMagicWord = 0x5156;
inline constexpr uint16_t kMagicMarker = 0xFFFF;

// Entries of the base-quantiser table (one per rate-control window).
inline constexpr int kQpTableRoom = 2163;

// Padding after the header fields: to 16 bytes for versions 2 to 6, to 4
// from version 7 on, none before.
constexpr unsigned header_alignment(uint16_t version) {
    return version >= 7 ? 4u : version >= 2 ? 16u : 0u;
}

// Headers of version 4 and later carry a parameter block per component;
// earlier ones one block that every component shares.
constexpr unsigned header_param_blocks(uint16_t version, unsigned num_components) {
    return version >= 4 ? num_components : 1u;
}

// ---- components and samples -------------------------------------------------

// Component formats: 1 one plane, 2 three planes, 3 three planes with the
// chroma subsampled (4:2:2), 4 four planes.
inline constexpr uint8_t kFormatThreePlanes = 2;
inline constexpr uint8_t kFormatSubsampled = 3;

// Whether a frame's three planes go through the colour transform of ct_mode.
constexpr bool color_transformed(uint8_t component_format, uint8_t ct_mode) {
    return component_format == kFormatThreePlanes && ct_mode != 0;
}

// Components of a format code, 0 for an undefined code.
constexpr uint8_t format_components(uint8_t component_format) {
    switch (component_format) {
        case 1: return 1;
        case 2: case 3: return 3;
        case 4: return 4;
        default: return 0;
    }
}

// Components of a format code; throws "Error: Undefined component format"
// on an undefined code.
uint8_t components_for_format(uint8_t component_format);

constexpr bool bit_depth_supported(unsigned bit_depth) {
    return bit_depth == 8 || bit_depth == 10 || bit_depth == 12 || bit_depth == 14;
}

// Cell post-processing of a Bayer frame from its colour mode: 6 -> 1,
// 7 -> 2, 8 -> 3, otherwise 0.
constexpr uint32_t ct_index_for_mode(uint8_t ct_mode) {
    return (ct_mode >= 6 && ct_mode <= 8) ? uint32_t(ct_mode - 5) : 0u;
}

// ---- planes and subbands ----------------------------------------------------

// How a plane holds the subbands of a component (see ImageMemory):
// kPlain: one subband, the plane itself; kInterleaved: 16 subbands, each
// cell of a 4x4 block in its own subband; kBlocked: 16 subbands, each a
// contiguous run of columns.
enum class StoringScheme : uint8_t { kPlain = 0, kInterleaved = 1, kBlocked = 2 };

struct SubbandLayout {
    uint8_t subbands;
    StoringScheme scheme;
};

// Kernels 0 to 5 interleave 16 subbands, kernel 6 blocks them, any other
// kernel codes the plane as one subband.
constexpr SubbandLayout subband_layout(uint8_t w_kernel) {
    if (w_kernel == 6) return {16, StoringScheme::kBlocked};
    if (w_kernel > 6) return {1, StoringScheme::kPlain};
    return {16, StoringScheme::kInterleaved};
}

// Streams per component: one per subband position in a 4x4 block.
inline constexpr unsigned kStreamsPerComponent = 16;
inline constexpr unsigned kMaxStreams = 64;

// ---- packets and rate control ----------------------------------------------

// A stream that has gathered kPacketCloseBits since the last boundary closes
// a packet; the others keep what is left above whole words.
inline constexpr int32_t kPacketCloseBits = 512;
inline constexpr int32_t kWordBits = 32;
// Longest run of one stream's words in a packet.
inline constexpr uint32_t kMaxPacketWords = 16;
// Bits a packet header costs per component in the fill level.
inline constexpr int32_t kPacketHeaderBits = 96;

// ---- zero runs --------------------------------------------------------------

// A zero run is one 32-bit code: the pattern in the bits above the length
// field, the run's length minus kMinRun in the field.
constexpr uint32_t run_field_mask(bool fourteen_bit) { return fourteen_bit ? 0x3FFFFu : 0xFFFFu; }
constexpr uint32_t run_pattern(bool fourteen_bit) { return fourteen_bit ? 0x00040000u : 0x00010000u; }
inline constexpr uint32_t kMinRun = 32;

// ---- colour ----------------------------------------------------------------

// Colour mode 1's video-range matrix: R, G, B = (row . (Y, Cb, Cr)) / 16384,
// with Y, Cb, Cr offset by the depth's luma and half values.
inline constexpr int32_t kVideoRangeMatrix[3][3] = {{19152, -1, 29487}, {19152, -3507, -8766}, {19152, 34745, 2}};
inline constexpr int32_t kVideoRangeScale = 16384;

// Largest sample, chroma midpoint and luma offset of a bit depth.
constexpr int32_t depth_max(unsigned bit_depth) { return (1 << bit_depth) - 1; }
constexpr int32_t depth_half(unsigned bit_depth) { return 1 << (bit_depth - 1); }
constexpr int32_t depth_luma(unsigned bit_depth) { return 16 << (bit_depth - 8); }

// Colour mode 3's down-shift of the components before the lossy transform.
constexpr unsigned ict_shift(uint8_t w_kernel, uint8_t bit_depth) {
    if (bit_depth >= 12) return 0;
    if (w_kernel <= 2) return bit_depth == 8 ? 4 : 2;
    return bit_depth == 8 ? 2 : 0;
}

}  // namespace Vantrel::QVX
