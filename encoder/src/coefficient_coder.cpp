// The coefficient coder: visits the subband grid exactly as the decoder's
// subband loop does, codes one value per subband stream and position, and
// runs the decoder's line-buffer model alongside so that every
// quantisation index and packet boundary agrees with what the decoder
// re-creates from the code lengths.
#include <algorithm>
#include <memory>
#include <utility>

#include "coefficient_coder.h"

#include "base/error.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "entropy/dequantise.h"
#include "entropy/line_buffer.h"
#include "entropy/prediction.h"
#include "frame/image_memory.h"
#include "packet_writer.h"
#include "quantiser.h"
#include "qvx/QvxEncoder.h"
#include "rice_encoder.h"

namespace Vantrel::QVX::enc {

namespace {

// Grid cell of one coded value: position in the subband, packed y << 16 | x.
inline uint32_t pack(uint32_t x, uint32_t y) { return (y << 16) | x; }
inline uint16_t cell_x(uint32_t p) { return uint16_t(p & 0xFFFF); }
inline uint16_t cell_y(uint32_t p) { return uint16_t(p >> 16); }

class CoefficientCoder {
public:
    CoefficientCoder(const EncoderSettings& settings, const CoefficientFrame& frame, StreamResiduals& residuals);
    EncodedFrame run();

private:
    void build_visits();
    void build_lookahead();
    // Plane cell of subband sb at (x, y): every storing scheme maps a
    // subband onto an evenly spaced grid of plane cells.
    size_t cell(unsigned sb, uint16_t x, uint16_t y) const {
        const Band& b = band_[sb];
        return size_t(uint16_t(b.row0 + b.row_step * y)) * frame_.width + uint16_t(b.col0 + b.col_step * x);
    }
    const std::vector<uint32_t>& visits_of(unsigned c) const {
        return fs_.subsampled && c > 0 ? chroma_visits_ : luma_visits_;
    }
    void code_sample(unsigned c, unsigned sb, uint16_t x, uint16_t y);
    uint32_t zero_stretch(unsigned stream, size_t from, int64_t zero_limit);
    uint32_t predicted_zero_stretch(unsigned c, unsigned sb, size_t from, int64_t zero_limit);

    const CoefficientFrame& frame_;
    std::vector<uint8_t> header_;
    FrameState fs_{};
    unsigned nsb_ = 16;
    struct Band {
        uint32_t col0, col_step, row0, row_step;
    };
    Band band_[16] = {};
    uint16_t sbw_ = 0, sbh_ = 0;
    int mode_[16] = {};
    uint8_t offset_[4][16] = {};

    std::vector<uint32_t> luma_visits_, chroma_visits_;
    StreamResiduals& residuals_;
    std::vector<int16_t>* lookahead_ = residuals_.stream;  // open-loop residual of every value of a stream
    std::vector<int16_t> pred_[64];       // reconstructed predicted subbands, row-major
    size_t coded_[64] = {};
    // Per stream, the first value past `limit` at or after an earlier
    // start (found), or none up to `at`.
    struct FirstOver {
        int64_t limit = -1;
        size_t at = 0;
        bool found = false;
    };
    FirstOver first_over_[64];

    LineBuffer lb_;
    RiceEncoder rice_;
    CoefficientFrame recon_;
    uint32_t position_bits_ = 0;
    std::vector<uint32_t> window_bits_;
};

CoefficientCoder::CoefficientCoder(const EncoderSettings& settings, const CoefficientFrame& frame,
                                   StreamResiduals& residuals)
    : frame_(frame), header_(write_header(settings)), residuals_(residuals), rice_(settings.bit_depth == 14) {
    // The encoder models the frame state the decoder reads from this header.
    mem_data in(header_.data(), header_.size());
    read_header(in, fs_);
    if (fs_.width == 0 || fs_.width % 4) throw EncodeError("width must be a multiple of 4 and not 0");
    if (fs_.height == 0 || fs_.height % 4) throw EncodeError("height must be a multiple of 4 and not 0");
    if (!bit_depth_supported(fs_.bit_depth))
        throw EncodeError("bit depth must be 8, 10, 12 or 14");
    if (frame.width != fs_.width || frame.height != fs_.height || frame.num_components != fs_.num_components)
        throw EncodeError("coefficient frame does not match the header's size and components");
    for (unsigned c = 0; c < frame.num_components; ++c)
        if (frame.planes[c].size() != size_t(frame.width) * frame.height)
            throw EncodeError("coefficient plane of the wrong size");
    fs_.subsampled = fs_.component_format == kFormatSubsampled ? 1 : 0;

    const SubbandLayout bands = subband_layout(fs_.w_kernel);
    nsb_ = bands.subbands;
    // The decoder's coefficient store: its geometry and subband addressing.
    const ImageMemory layout(fs_.width, fs_.height, fs_.num_components, uint8_t(nsb_), uint8_t(bands.scheme));
    sbw_ = layout.sb_width();
    sbh_ = layout.sb_height();
    for (unsigned sb = 0; sb < nsb_; ++sb) {
        mode_[sb] = prediction_mode(sb, fs_.w_kernel, fs_.pred_mode);
        const uint32_t c0 = layout.subband_column(uint8_t(sb), 0), r0 = layout.subband_row(uint8_t(sb), 0);
        band_[sb] = {c0, layout.subband_column(uint8_t(sb), 1) - c0, r0, layout.subband_row(uint8_t(sb), 1) - r0};
        const unsigned g = c0 % 4;
        const unsigned b = r0 % 4;
        for (unsigned c = 0; c < fs_.num_components; ++c) offset_[c][sb] = fs_.component_params[c][g][b];
    }
    lb_.setup(fs_);
    recon_ = CoefficientFrame(fs_.width, fs_.height, fs_.num_components);
}

// The order in which the decoder visits subband cells: row-major, and for
// 4:2:2 chroma only at every other position (the alternation runs on
// across rows), at the halved column.
void CoefficientCoder::build_visits() {
    luma_visits_.reserve(size_t(sbw_) * sbh_);
    bool alt = true;
    for (uint32_t y = 0; y < sbh_; ++y)
        for (uint32_t x = 0; x < sbw_; ++x) {
            luma_visits_.push_back(pack(x, y));
            if (fs_.subsampled) {
                if (alt) chroma_visits_.push_back(pack(x / 2, y));
                alt = !alt;
            }
        }
}

// Residuals as they are when every earlier value is reconstructed exactly.
// They decide where zero runs go: exact in lossless coding, an estimate
// otherwise (run values are then forced to zero, which the decoder
// reconstructs just the same).
void CoefficientCoder::build_lookahead() {
    for (unsigned c = 0; c < fs_.num_components; ++c)
        for (unsigned sb = 0; sb < nsb_; ++sb)
            if (mode_[sb] != kNoPrediction) pred_[(c * nsb_ + sb) & 0xFF].assign(size_t(sbw_) * sbh_, 0);
    if (residuals_.ready) return;
    std::vector<int16_t> plane;
    for (unsigned c = 0; c < fs_.num_components; ++c)
        for (unsigned sb = 0; sb < nsb_; ++sb) {
            const unsigned stream = (c * nsb_ + sb) & 0xFF;
            const std::vector<uint32_t>& visits = visits_of(c);
            std::vector<int16_t>& out = lookahead_[stream];
            out.resize(visits.size());
            const int mode = mode_[sb];
            if (mode != kNoPrediction) plane.assign(size_t(sbw_) * sbh_, 0);
            for (size_t i = 0; i < visits.size(); ++i) {
                const uint16_t x = cell_x(visits[i]), y = cell_y(visits[i]);
                const int16_t t = frame_.planes[c][cell(sb, x, y)];
                if (mode == kNoPrediction) {
                    out[i] = t;
                    continue;
                }
                const int16_t p = predict(mode, fs_.pred_mode, plane.data(), sbw_, x, y);
                out[i] = int16_t(uint16_t(uint16_t(t) - uint16_t(p)));
                plane[size_t(y) * sbw_ + x] = t;
            }
        }
    residuals_.ready = true;
}

uint32_t CoefficientCoder::zero_stretch(unsigned stream, size_t from, int64_t zero_limit) {
    const std::vector<int16_t>& r = lookahead_[stream];
    // Short stretches end at the first value past the limit, since the
    // first 32 values take no outliers. That value, once found, answers
    // the calls that follow until they reach it or the limit changes:
    // scanning again from each value would read up to 32 values a value.
    FirstOver& over = first_over_[stream & 63];
    if (over.limit != zero_limit || over.at < from) {
        const size_t stop = std::min(r.size(), from + 32);
        size_t j = from;
        while (j < stop && quantises_to_zero(r[j], zero_limit)) ++j;
        over = {zero_limit, j, j < stop};
    }
    if (over.found && over.at - from < 32) return uint32_t(over.at - from);
    const size_t end = std::min(r.size(), from + rice_.max_run());
    size_t i = from;
    // A run may also swallow values past the limit up to 2 steps (with
    // the run limit), at most one in 32 values and none in the first 32;
    // it ends on a value within the limit.
    const int64_t outlier = zero_limit * 8 / 5;
    size_t last_outlier = from, within_end = from;
    while (i < end) {
        if (quantises_to_zero(r[i], zero_limit)) {
            within_end = ++i;
        } else if (quantises_to_zero(r[i], outlier) && i - last_outlier >= 32) {
            last_outlier = i++;
        } else {
            break;
        }
    }
    return uint32_t(within_end - from);
}

// A zero run in a predicted subband reconstructs each of its cells as the
// prediction from the cells before it. Those depend only on this subband,
// so the run's reconstruction can be followed exactly: the run lasts while
// it stays within the quantiser's zero band of the targets (and the
// open-loop residuals do too, which keeps runs out of busy areas). The cells it
// writes into the prediction plane get the same values when coded.
uint32_t CoefficientCoder::predicted_zero_stretch(unsigned c, unsigned sb, size_t from, int64_t zero_limit) {
    const unsigned stream = (c * nsb_ + sb) & 0xFF;
    const std::vector<uint32_t>& visits = visits_of(c);
    std::vector<int16_t>& P = pred_[stream];
    const size_t end = std::min(visits.size(), from + rice_.max_run());
    size_t i = from;
    for (; i < end; ++i) {
        const uint16_t x = cell_x(visits[i]), y = cell_y(visits[i]);
        const int16_t p = predict(mode_[sb], fs_.pred_mode, P.data(), sbw_, x, y);
        const int16_t miss = int16_t(uint16_t(uint16_t(frame_.planes[c][cell(sb, x, y)]) - uint16_t(p)));
        if (!quantises_to_zero(miss, zero_limit) || !quantises_to_zero(lookahead_[stream][i], zero_limit)) break;
        P[size_t(y) * sbw_ + x] = p;
    }
    return uint32_t(i - from);
}

void CoefficientCoder::code_sample(unsigned c, unsigned sb, uint16_t x, uint16_t y) {
    const unsigned stream = (c * nsb_ + sb) & 0xFF;
    const size_t i = coded_[stream]++;
    const size_t at = cell(sb, x, y);
    const int32_t q = lb_.qt_index();
    const uint8_t offset = offset_[c][sb];
    const int mode = mode_[sb];
    std::vector<int16_t>& P = pred_[stream];
    const int16_t pred = mode == kNoPrediction ? int16_t(0) : predict(mode, fs_.pred_mode, P.data(), sbw_, x, y);

    int16_t v = 0;
    int32_t n;
    if (rice_.run_active(stream)) {
        n = rice_.continue_run(stream);
    } else {
        const int64_t limit = zero_limit(q, offset);
        uint32_t zeros = 0;
        if (mode != kNoPrediction) zeros = predicted_zero_stretch(c, sb, i, fs_.w_kernel == 6 ? limit : 0);
        else if (const int64_t run = run_limit(q, offset); quantises_to_zero(lookahead_[stream][i], run))
            zeros = zero_stretch(stream, i, run);
        if (zeros >= 32) {
            n = rice_.start_run(stream, zeros);
        } else {
            // Without a transform every subband is predicted from its own
            // reconstruction, where a value given up spreads: nearest only.
            const double slope = fs_.w_kernel == 6 ? 0.0 : kRateSlope;
            const RateState rate{rice_.next_k(stream), rice_.max_rice_zeros(), slope};
            v = choose_value(frame_.planes[c][at], pred, q, offset, rate);
            n = rice_.code_value(stream, v, rate.k);
        }
    }
    lb_.add_bits(n);
    position_bits_ += uint32_t(n);
    lb_.sb_fill[stream] += int32_t(32 * rice_.word_crossed(stream));

    const int16_t d = dequantise(v, q, offset);
    int16_t r = d;
    if (mode != kNoPrediction) {
        r = int16_t(uint16_t(uint16_t(pred) + uint16_t(d)));
        P[size_t(y) * sbw_ + x] = r;
    }
    recon_.planes[c][at] = r;
}

EncodedFrame CoefficientCoder::run() {
    build_visits();
    build_lookahead();
    const unsigned ncomp = fs_.num_components;
    DominantPlanner planner(lb_, fs_.version, ncomp);
    bool alt = true;
    bool boundary_last = false;
    for (uint16_t y = 0; y < sbh_; ++y)
        for (uint16_t x = 0; x < sbw_; ++x) {
            for (unsigned c = 0; c < ncomp; ++c) {
                const bool chroma = fs_.subsampled && c > 0;
                if (chroma && !alt) continue;
                for (unsigned sb = 0; sb < nsb_; ++sb) code_sample(c, sb, chroma ? uint16_t(x / 2) : x, y);
            }
            for (unsigned c = 0; c < ncomp; ++c)
                if (!fs_.subsampled || c == 0 || alt) rice_.stats.advance(c);
            if (fs_.subsampled) alt = !alt;
            const size_t window = size_t(lb_.qp_index);
            if (window >= window_bits_.size()) window_bits_.resize(window + 1, 0);
            window_bits_[window] += position_bits_;
            position_bits_ = 0;
            const size_t before = planner.closed().size();
            lb_.step(fs_, planner);
            boundary_last = planner.closed().size() != before;
        }

    // Closed packets carry the words each stream consumed in their span;
    // the rest goes into the packets after the last boundary.
    std::vector<uint32_t> words[64];
    std::vector<uint64_t> remaining(16 * ncomp, 0);
    for (unsigned s = 0; s < 16 * ncomp; ++s) {
        words[s] = rice_.stream(s).words();
        uint64_t used = 0;
        for (const PacketLengths& p : planner.closed()) used += p[s];
        if (used > words[s].size()) throw EncodeError("internal error: packets claim unwritten words");
        remaining[s] = words[s].size() - used;
    }
    std::vector<PacketLengths> packets = planner.closed();
    const std::vector<PacketLengths> tail = tail_packets(remaining, packet_capacity(fs_.version), !boundary_last);
    packets.insert(packets.end(), tail.begin(), tail.end());

    EncodedFrame out;
    out.bytes = header_;
    const std::vector<uint8_t> body = write_packets(fs_.version, ncomp, packets, words);
    out.bytes.insert(out.bytes.end(), body.begin(), body.end());
    out.reconstruction = std::move(recon_);
    out.stats.packets = packets.size();
    out.stats.runs = rice_.runs();
    out.stats.raw_escapes = rice_.raw_escapes();
    out.stats.window_bits = std::move(window_bits_);
    return out;
}

}  // namespace

EncodedFrame encode_coefficients(const EncoderSettings& settings, const CoefficientFrame& frame) {
    StreamResiduals residuals;
    return encode_coefficients(settings, frame, residuals);
}

EncodedFrame encode_coefficients(const EncoderSettings& settings, const CoefficientFrame& frame,
                                 StreamResiduals& residuals) {
    try {
        return CoefficientCoder(settings, frame, residuals).run();
    } catch (const QvxError& e) {
        throw EncodeError(e.text());
    }
}

}  // namespace Vantrel::QVX::enc
