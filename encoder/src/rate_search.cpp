// Lossy coding at a rate or quality target. Rate control stays off: the
// quantisation index of every rate-control window is its `qp_table` entry,
// so the decoder's model is trivially in step with the encoder's. Windows
// get their entry by a Lagrangian choice among the constant indices around
// the target, from each window's measured bits and image-domain squared
// error.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "base/format.h"
#include "coefficient_coder.h"
#include "frame/parallel.h"
#include "image_transform.h"
#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

namespace {

struct Trial {
    EncodedImage encoded;
    double bpp = 0;
    double psnr = 0;
    double error = 0;                    // squared error over the frame
    std::vector<double> window_error;    // per window
    std::vector<double> window_bits;     // per window
    std::vector<int8_t> table;
};

// Positions of one window when rate control is off (window_count's rule).
long window_positions(const EncoderSettings& s) {
    const long w4 = s.width / 4;
    return s.rc_window > 0 ? w4 * s.rc_window / 4 : std::labs(w4 / s.rc_window);
}

// The settings every trial of a search shares: rate control off, the
// finest windows the table can hold (a quarter of a block row, or more on
// tall frames, and at least one position on frames narrower than 16
// columns); each trial brings its own table.
EncoderSettings search_settings(EncoderSettings s) {
    s.rc_drain = 0;
    const long w4 = std::max(1, s.width / 4), h4 = s.height / 4;
    s.rc_window = int16_t(std::max({1L, (4 * h4 + kQpTableRoom - 1) / kQpTableRoom, (4 + w4 - 1) / w4}));
    s.qp_table.clear();
    return s;
}

// Trials of one image under one group of settings. The transform does not
// depend on the table: it runs once, and every trial only codes and
// rebuilds the samples from the coder's reconstruction.
class Searcher {
public:
    Searcher(const EncoderSettings& s, const ImagePlanes& image, Input422 in422)
        : s_(search_settings(s)), coded_(coded_image(s, image, in422)), coefficients_(transform_image(s_, image, in422)) {
        windows_ = window_count(s_);
        positions_ = std::max(1L, window_positions(s_));
        pixels_ = double(s_.width) * s_.height;
        peak_ = double((1u << s_.bit_depth) - 1);
        samples_ = 0;
        for (unsigned c = 0; c < coded_.num_components; ++c)
            samples_ += (s_.component_format == kFormatSubsampled && c > 0 ? s_.width / 2 : s_.width) * double(s_.height);
    }

    size_t windows() const { return windows_; }
    bool serves(const EncoderSettings& s) const { return search_settings(s) == s_; }

    Trial run(const std::vector<int8_t>& table) {
        EncoderSettings t = s_;
        t.qp_table = table;
        Trial r;
        r.table = table;
        EncodedFrame coded = encode_coefficients(t, coefficients_, residuals_);
        r.encoded = EncodedImage{std::move(coded.bytes), std::move(coded.stats)};
        r.bpp = bits_per_pixel(r.encoded, t);
        const ImagePlanes d =
            can_rebuild(t) ? rebuild_image(t, std::move(coded.reconstruction)) : decode_image(r.encoded.bytes);
        r.window_error.assign(windows_, 0.0);
        const unsigned w = s_.width, sbw = w / 4;
        for (unsigned c = 0; c < coded_.num_components; ++c) {
            const unsigned cols = s_.component_format == kFormatSubsampled && c > 0 ? w / 2 : w;
            for (unsigned y = 0; y < s_.height; ++y) {
                const uint16_t* a = d.planes[c].data() + size_t(y) * w;
                const uint16_t* b = coded_.planes[c].data() + size_t(y) * w;
                // Squared differences are whole numbers far below 2^53:
                // summed exactly, in any order, per run of the row in one
                // window.
                size_t pos = size_t(y / 4) * sbw;
                for (unsigned x = 0; x < cols;) {
                    const size_t win = std::min(pos / size_t(positions_), windows_ - 1);
                    const bool last = win + 1 == windows_;
                    const size_t run_end = (win + 1) * size_t(positions_);
                    const unsigned stop = last ? cols : unsigned(std::min<size_t>(cols, x + 4 * (run_end - pos)));
                    uint64_t e = 0;
                    for (; x < stop; ++x) {
                        const int64_t diff = int64_t(a[x]) - int64_t(b[x]);
                        e += uint64_t(diff * diff);
                    }
                    r.window_error[win] += double(e);
                    pos = run_end;
                }
            }
        }
        for (double e : r.window_error) r.error += e;
        r.psnr = r.error == 0 ? std::numeric_limits<double>::infinity()
                              : 10.0 * std::log10(peak_ * peak_ * samples_ / r.error);
        r.window_bits.assign(windows_, 0.0);
        const std::vector<uint32_t>& wb = r.encoded.stats.window_bits;
        for (size_t i = 0; i < wb.size(); ++i) r.window_bits[std::min(i, windows_ - 1)] += wb[i];
        return r;
    }

    // The constant trials of `indices` not coded yet, on `workers` at
    // once: each is the same whichever thread codes it.
    void prepare(const std::vector<int>& indices, Workers workers) {
        std::vector<int> missing;
        for (int q : indices)
            if (!constant_.count(q) && std::find(missing.begin(), missing.end(), q) == missing.end())
                missing.push_back(q);
        if (workers.threads <= 1 || missing.size() <= 1) {
            for (int q : missing) constant(q);
            return;
        }
        // The residuals the trials share are built by the first one.
        if (!residuals_.ready) {
            constant(missing.front());
            missing.erase(missing.begin());
        }
        std::vector<Trial> trials(missing.size());
        parallel_for(workers, missing.size(),
                     [&](size_t i) { trials[i] = run(std::vector<int8_t>(windows_, int8_t(missing[i]))); });
        for (size_t i = 0; i < missing.size(); ++i) constant_.emplace(missing[i], std::move(trials[i]));
    }

    // A table of one index is that constant trial, coded once.
    Trial trial(const std::vector<int8_t>& table) {
        if (!table.empty() && std::all_of(table.begin(), table.end(), [&](int8_t q) { return q == table[0]; }))
            return constant(table[0]);
        return run(table);
    }

    const Trial& constant(int q) {
        auto it = constant_.find(q);
        if (it == constant_.end()) it = constant_.emplace(q, run(std::vector<int8_t>(windows_, int8_t(q)))).first;
        return it->second;
    }

    double pixels() const { return pixels_; }
    double error_for(double db) const { return peak_ * peak_ * samples_ / std::pow(10.0, db / 10.0); }
    double db_for(double error) const { return 10.0 * std::log10(peak_ * peak_ * samples_ / std::max(error, 1e-9)); }
    EncoderSettings settings_with(const std::vector<int8_t>& table) const {
        EncoderSettings t = s_;
        t.qp_table = table;
        return t;
    }

private:
    EncoderSettings s_;
    ImagePlanes coded_;
    CoefficientFrame coefficients_;
    StreamResiduals residuals_;  // shared by the trials
    size_t windows_ = 1;
    long positions_ = 1;
    double pixels_ = 1, peak_ = 255, samples_ = 1;
    std::map<int, Trial> constant_;
};

// The searches of one image, one per group of settings: the colour mode
// scoring, the expected quality and the kernel scoring often ask for the
// same trial, which is then coded once.
class Searchers {
public:
    // threads: for trials that do not depend on each other (0: one per
    // core).
    Searchers(const ImagePlanes& image, Input422 in422, unsigned threads = 1)
        : image_(image), in422_(in422), threads_(resolve_thread_count(threads)) {}
    Workers workers() { return Workers{threads_, &pool_}; }
    Searcher& of(const EncoderSettings& s) {
        for (const std::unique_ptr<Searcher>& searcher : searchers_)
            if (searcher->serves(s)) return *searcher;
        return *searchers_.emplace_back(std::make_unique<Searcher>(s, image_, in422_));
    }

private:
    const ImagePlanes& image_;
    Input422 in422_;
    unsigned threads_;
    WorkerPool pool_;
    std::vector<std::unique_ptr<Searcher>> searchers_;
};

constexpr int kMaxIndex = 100;  // every coefficient quantises to 0 well before

// Largest constant index whose trial is still on the wanted side:
// `good(trial)` turns false once as the index grows; index 0 is taken as
// good without a trial (callers check it when 0 comes back).
// Starts at `guess` and steps by the distance `jump(trial)` suggests (the
// rate halves about every four or five indices), then bisects what is left.
template <class Good, class Jump>
int last_good_index(Searcher& search, Good good, Jump jump, int guess) {
    int lo = -1, hi = kMaxIndex + 1;  // good at lo, not good at hi (bounds unproven)
    int q = std::clamp(guess, 0, kMaxIndex);
    for (int i = 0; i < 6 && hi - lo > 1; ++i) {
        const Trial& t = search.constant(q);
        if (good(t)) lo = q;
        else hi = q;
        if (hi - lo <= 1) break;
        const int step = std::clamp(jump(t), -24, 24);
        int next = q + (step == 0 ? (good(t) ? 1 : -1) : step);
        next = std::clamp(next, lo + 1, hi - 1);
        if (next < 0 || next > kMaxIndex) break;
        q = next;
    }
    if (lo < 0) lo = 0;
    if (hi > kMaxIndex) {
        if (good(search.constant(kMaxIndex))) return kMaxIndex;
        hi = kMaxIndex;
    }
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        (good(search.constant(mid)) ? lo : hi) = mid;
    }
    return lo;
}

// The constant-index trials a window may take its index from: the pair
// lo, hi that brackets the target and `spread` more on either side.
std::vector<const Trial*> neighbours(Searcher& search, int lo, int hi, int spread, Workers workers) {
    std::vector<int> indices;
    for (int q = std::max(0, lo - spread); q <= std::min(kMaxIndex, hi + spread); ++q) indices.push_back(q);
    search.prepare(indices, workers);
    std::vector<const Trial*> trials;
    for (int q = std::max(0, lo - spread); q <= std::min(kMaxIndex, hi + spread); ++q)
        trials.push_back(&search.constant(q));
    return trials;
}

// Both are tried and the better stream kept. Windows of flat or of busy
// content reach their best slope away from the pair (on the grey boats
// photograph at 4 bpp, 1 dB more), but windows interact (prediction across
// them, the coder's adaptation), and the further the indices, the more the
// summed window figures miss the measured ones (on small crops the pair
// alone often does 0.1 dB better).
constexpr int kSpreads[] = {0, 2};

// How much quality a doubling of the rate buys, about, at the rates lossy
// coding aims at (measured on the corpus photographs).
constexpr double kDbPerDoubling = 6.75;

int first_guess(const EncoderSettings& s) { return 16 + 4 * (int(s.bit_depth) - 8); }

// How many indices a constant-index trial suggests moving to meet a rate
// (the rate halves about every four or five indices) or a quality target
// (about 6 dB per octave of step, four indices to the octave).
int rate_jump(const Trial& t, double target) { return int(std::lround(4.5 * std::log2(t.bpp / target))); }
int quality_jump(const Trial& t, double target_db) {
    return std::isfinite(t.psnr) ? int(std::lround((t.psnr - target_db) / 1.5)) : 8;
}

// Per window, the index among the trials' that minimises error + lambda * bits.
struct Choice {
    std::vector<int8_t> table;
    double bits = 0, error = 0;
};

Choice choose(const std::vector<const Trial*>& trials, double lambda, size_t windows) {
    Choice c;
    c.table.resize(windows);
    for (size_t w = 0; w < windows; ++w) {
        size_t best = 0;
        double best_cost = INFINITY;
        for (size_t i = 0; i < trials.size(); ++i) {
            const double cost = trials[i]->window_error[w] + lambda * trials[i]->window_bits[w];
            if (cost < best_cost) best_cost = cost, best = i;
        }
        c.table[w] = trials[best]->table[w];
        c.bits += trials[best]->window_bits[w];
        c.error += trials[best]->window_error[w];
    }
    return c;
}

// Bisects lambda (log scale) for the choice whose `measure` comes nearest
// `limit` without passing it; the measure grows with lambda (error) or
// falls (bits).
template <class Measure>
Choice choose_for(const std::vector<const Trial*>& trials, size_t windows, Measure measure, double limit,
                  bool grows_with_lambda) {
    double lo = 1e-6, hi = 1e9;
    Choice best = choose(trials, grows_with_lambda ? lo : hi, windows);
    for (int i = 0; i < 60; ++i) {
        const double mid = std::sqrt(lo * hi);
        Choice c = choose(trials, mid, windows);
        const bool within = measure(c) <= limit;
        if (within) best = c;
        // Keep the side that stays within the limit.
        if (within == grows_with_lambda) lo = mid;
        else hi = mid;
    }
    return best;
}

EncodedImage finish(EncoderSettings& s, Searcher& search, Trial& t) {
    s = search.settings_with(t.table);
    return std::move(t.encoded);
}

// `guess`: where the search for the bracketing pair starts.
EncodedImage encode_at_rate(EncoderSettings& s, Searcher& search, double target, int guess, Workers workers) {
    const auto under = [&](const Trial& t) { return t.bpp <= target; };
    // lo: the coarsest constant index whose rate is still above the target.
    const auto jump = [&](const Trial& t) { return rate_jump(t, target); };
    const int lo = last_good_index(search, [&](const Trial& t) { return !under(t); }, jump, guess);
    if (lo == 0 && under(search.constant(0))) {
        Trial lossless = search.constant(0);  // index 0 leaves every coefficient exact
        return finish(s, search, lossless);
    }
    const int q = std::min(lo + 1, kMaxIndex);
    // Window bits leave out packet headers and the stream header: aim the
    // predicted bits by the ratio the constant trials show.
    const Trial& ref = search.constant(q);
    double counted = 0;
    for (double b : ref.window_bits) counted += b;
    double scale = ref.bpp * search.pixels() / std::max(counted, 1.0);
    Trial best = search.constant(q);
    double best_miss = std::fabs(best.bpp - target) / target;
    // Error in dB, moved to the target rate along the usual slope.
    const auto at_target = [&](const Trial& t) {
        return 10.0 * std::log10(std::max(t.error, 1e-9)) + kDbPerDoubling * std::log2(t.bpp / target);
    };
    for (const int spread : kSpreads) {
        const std::vector<const Trial*> trials = neighbours(search, lo, q, spread, workers);
        // Choices measured on either side of the target: (predicted bits,
        // bpp). Windows interact (zero runs reach into the next window, the
        // coder adapts across them), so once the target is bracketed the
        // budget is interpolated between the two instead of rescaled.
        double under_bits = -1, under_bpp = 0, over_bits = -1, over_bpp = 0;
        for (int round = 0; round < 4; ++round) {
            double budget = target * search.pixels() / scale;
            if (under_bits >= 0 && over_bits >= 0)
                budget = under_bits + (target - under_bpp) / (over_bpp - under_bpp) * (over_bits - under_bits);
            const Choice c =
                choose_for(trials, search.windows(), [](const Choice& ch) { return ch.bits; }, budget, false);
            Trial t = search.trial(c.table);
            const double miss = std::fabs(t.bpp - target) / target;
            scale = t.bpp * search.pixels() / std::max(c.bits, 1.0);
            if (t.bpp < target && (under_bits < 0 || t.bpp > under_bpp)) under_bits = c.bits, under_bpp = t.bpp;
            if (t.bpp > target && (over_bits < 0 || t.bpp < over_bpp)) over_bits = c.bits, over_bpp = t.bpp;
            // Within 2 %: the lower error once both are moved to the target
            // along the usual slope; otherwise the nearer rate.
            const bool better =
                (miss <= 0.02 && best_miss <= 0.02) ? at_target(t) < at_target(best) : miss < best_miss;
            if (better) best_miss = miss, best = std::move(t);
            if (miss <= 0.005) break;
        }
    }
    return finish(s, search, best);
}

EncodedImage encode_at_psnr(EncoderSettings& s, Searcher& search, double target_db, int guess, Workers workers) {
    const auto reaches = [&](const Trial& t) { return t.psnr >= target_db; };
    // Index 0 is lossless (infinite PSNR) with the usual offsets.
    const auto jump = [&](const Trial& t) { return quality_jump(t, target_db); };
    const int q = last_good_index(search, reaches, jump, guess);
    Trial best = search.constant(q);
    if (q >= kMaxIndex) return finish(s, search, best);
    // Each round aims by the ratio of measured to predicted error the last
    // one showed, a little inside the target.
    const double wanted = search.error_for(target_db) * 0.995;
    for (const int spread : kSpreads) {
        const std::vector<const Trial*> trials = neighbours(search, q, q + 1, spread, workers);
        double allowed = wanted;
        for (int round = 0; round < 4; ++round) {
            const Choice c =
                choose_for(trials, search.windows(), [](const Choice& ch) { return ch.error; }, allowed, true);
            Trial t = search.trial(c.table);
            if (t.error <= 0) break;
            allowed *= wanted / t.error;
            const bool close = reaches(t) && t.error >= 0.98 * wanted;
            if (reaches(t) && t.bpp < best.bpp) best = std::move(t);
            if (close) break;
        }
    }
    return finish(s, search, best);
}

// Quality (PSNR at the target rate, or minus the rate at the target PSNR)
// of the constant-index trials around the target, interpolated: enough to
// rank candidate settings without a full search for each.
double score(Searcher& search, bool rate_target, double target, int& q_hint, double* db) {
    const auto past = [&](const Trial& t) { return rate_target ? t.bpp < target : t.psnr < target; };
    int q = std::clamp(q_hint, 0, kMaxIndex - 1);
    // Near the pair first by the distance the trials suggest (a hint from
    // another colour mode can be many indices off), then walk to the pair
    // q, q + 1 with q not past the target and q + 1 past it.
    for (int i = 0; i < 2; ++i) {
        const Trial& t = search.constant(q);
        const int j = rate_target ? rate_jump(t, target) : quality_jump(t, target);
        if (std::abs(j) < 2) break;
        q = std::clamp(q + j, 0, kMaxIndex - 1);
    }
    for (int guard = 0; guard < kMaxIndex; ++guard) {
        if (past(search.constant(q)) && q > 0) --q;
        else if (!past(search.constant(q + 1)) && q + 1 < kMaxIndex) ++q;
        else break;
    }
    q_hint = q;
    const Trial &a = search.constant(q), &b = search.constant(q + 1);
    if (db) *db = a.psnr;
    if (rate_target) {
        if (a.bpp <= target) return a.psnr;  // lossless fits
        const double f = (a.bpp - target) / std::max(a.bpp - b.bpp, 1e-9);
        return a.psnr + f * (b.psnr - a.psnr);
    }
    // An irreversible transform may not reach the target even at index 0.
    if (past(a)) return -INFINITY;
    if (!std::isfinite(a.psnr) || !std::isfinite(b.psnr) || a.psnr == b.psnr) return -a.bpp;
    const double f = (a.psnr - target) / (a.psnr - b.psnr);
    return -(a.bpp + f * (b.bpp - a.bpp));
}

// The window choice between the pair score() finds, predicted from the
// trials' window figures without coding it: nearer what the final search
// reaches than score()'s interpolation where the pair lies far apart in
// rate (at low indices), which there ranks kernels wrongly (8-bit ladybird
// at 4 bpp: kernel 5 ahead by 2 dB, behind by 0.2 dB after the search).
double pair_choice_score(Searcher& search, bool rate_target, double target, int& q_hint) {
    const double interpolated = score(search, rate_target, target, q_hint, nullptr);
    const Trial &a = search.constant(q_hint), &b = search.constant(q_hint + 1);
    if (!std::isfinite(interpolated) || !std::isfinite(a.psnr) || !std::isfinite(b.psnr) ||
        (rate_target && a.bpp <= target))
        return interpolated;
    const std::vector<const Trial*> pair = {&a, &b};
    double counted = 0;
    for (double bits : b.window_bits) counted += bits;
    // Window bits leave out the headers.
    const double stream_per_counted = b.bpp * search.pixels() / std::max(counted, 1.0);
    if (rate_target) {
        const double budget = target * search.pixels() / stream_per_counted;
        return search.db_for(
            choose_for(pair, search.windows(), [](const Choice& c) { return c.bits; }, budget, false).error);
    }
    const Choice c =
        choose_for(pair, search.windows(), [](const Choice& ch) { return ch.error; }, search.error_for(target), true);
    return -c.bits * stream_per_counted / search.pixels();
}

double score(const EncoderSettings& s, const ImagePlanes& p, Input422 in422, bool rate_target, double target,
             int& q_hint, double* db) {
    Searcher search(s, p, in422);
    return score(search, rate_target, target, q_hint, db);
}

// Chroma bias (quarter steps) for a quality in dB: the equal-slope offsets
// hold at high quality; below it, finer chroma pays (on the 1080p
// photographs at 1 bpp, 2 quarter steps gain 0.38 to 0.55 dB; at about
// 45 dB one gains 0.02 to 0.13 dB, and above 50 dB it loses).
int chroma_bias_for(double db) { return db < 40.0 ? 2 : db < 48.0 ? 1 : 0; }

// The quality expected at the target, from one constant-index trial at the
// first guess, moved to the target along the usual slope.
double expected_db(const EncoderSettings& s, Searchers& searchers, bool rate_target, double target) {
    if (!rate_target) return target;
    const Trial& trial = searchers.of(s).constant(first_guess(s));
    if (!std::isfinite(trial.psnr) || trial.bpp <= 0) return INFINITY;
    return trial.psnr + kDbPerDoubling * std::log2(target / trial.bpp);
}

// Where the pair of a colour mode lies against that of the irreversible
// transform with the up-shift (measured on the 8-bit corpus photographs at
// 2 to 8 bpp: YCoCg-R 3 to 4 indices finer, the transform without the
// up-shift 5 to 8). The scoring finds the same pair from any start; a near
// one saves trials.
constexpr int kYcocgBelowShifted = 3;
constexpr int kUnshiftedBelowShifted = 6;

// `q_hint`: left at the pair of the mode chosen when a score found one.
void set_fast_modes(EncoderSettings& s, const ImagePlanes& p, Input422 in422, Searchers& searchers, bool rate_target,
                    double target, bool fix_kernel, bool fix_ct, bool fix_pred, int& q_hint) {
    // 5/3 dyadic: the finest low-pass band; LL predicted by the median
    // edge predictor. For 8-bit RGB the irreversible transform with the
    // 2-bit up-shift runs the wavelet on four times finer samples, which
    // keeps the lifting's rounding well under the quantiser's error, but
    // the decoder's return to whole Y, Cb, Cr adds an error of its own that
    // shows above about 47 dB: there YCoCg-R is tried as well. From 10 bits
    // on YCoCg-R does as well as the irreversible transform or slightly
    // better (0.1 to 0.2 dB on the 12-bit photographs at 4 bpp).
    if (!fix_kernel) s.w_kernel = 4;
    if (!fix_pred) s.pred_mode = 2;
    if (!fix_ct && s.component_format == kFormatThreePlanes) s.ct_mode = s.bit_depth == 8 && s.w_kernel <= 5 ? 3 : 10;
    set_weighted_offsets(s);
    if (fix_ct || s.component_format != 2 || s.ct_mode != 3) return;
    EncoderSettings t = s;
    t.ct_mode = 10;
    set_weighted_offsets(t);
    if (rate_target && target >= 6.0) {
        // The irreversible transform is never lossless: at rates where the
        // reversible one is, that one wins outright.
        t.rc_drain = 0;
        t.qp_table.assign(window_count(t), 0);
        if (bits_per_pixel(encode_image(t, p, in422), t) <= target) {
            s.ct_mode = 10;
            set_weighted_offsets(s);
            return;
        }
    }
    q_hint = first_guess(s);
    double db = 0;
    double best = score(searchers.of(s), rate_target, target, q_hint, &db);
    if (db < 46.5) return;
    // The same transform without the up-shift rounds Y, Cb, Cr once, in
    // the encoder, and codes them at the samples' own scale: on smooth
    // frames near 50 dB and above its rounding costs less than either.
    EncoderSettings plain = s;
    plain.ct_mode = 2;
    set_weighted_offsets(plain);
    // The two scores do not depend on each other.
    int hints[2] = {q_hint - kYcocgBelowShifted, q_hint - kUnshiftedBelowShifted};
    Searcher* candidates[2] = {&searchers.of(t), &searchers.of(plain)};
    double scores[2] = {};
    parallel_for(searchers.workers(), 2,
                 [&](size_t i) { scores[i] = score(*candidates[i], rate_target, target, hints[i], nullptr); });
    if (scores[0] > best) best = scores[0], s = t, q_hint = hints[0];
    if (scores[1] > best) s = plain, q_hint = hints[1];
}

// The kernel prediction misses the search's result by a few hundredths of
// a dB (12-bit forest at 1 bpp: kernel 5 0.004 dB ahead predicted, 0.02 dB
// behind after the search): kernel 5 only when this much ahead.
constexpr double kKernelMarginDb = 0.02;

// The fast modes with the chroma bias, then kernel 4 (dyadic) or 5
// (rectangular split) by score: 5 gains 0.1 to 0.2 dB at 4 bpp on most
// 1080p photographs but loses on others (0.56 dB on a 512 x 512 one).
// Returns the winner's search, its constant trials kept for the final
// search, which starts at `guess`.
Searcher& fast_search(EncoderSettings& s, const ImagePlanes& p, Input422 in422, Searchers& searchers, bool rate_target,
                      double target, bool fix_kernel, bool fix_ct, bool fix_pred, int& guess) {
    // The pair found for the mode chosen, before the chroma bias moves it
    // by little, is where the scoring below starts.
    guess = first_guess(s);
    set_fast_modes(s, p, in422, searchers, rate_target, target, fix_kernel, fix_ct, fix_pred, guess);
    const int bias =
        color_transformed(s.component_format, s.ct_mode) ? chroma_bias_for(expected_db(s, searchers, rate_target, target)) : 0;
    set_weighted_offsets(s, bias);
    Searcher& chosen = searchers.of(s);
    if (fix_kernel) return chosen;
    EncoderSettings t = s;
    t.w_kernel = 5;
    set_weighted_offsets(t, bias);
    Searcher& rect = searchers.of(t);
    // Both kernels' scores start at the same place and do not depend on
    // each other.
    int rect_guess = guess;
    double square = 0, rect_score = 0;
    parallel_for(searchers.workers(), 2, [&](size_t i) {
        if (i == 0) square = pair_choice_score(chosen, rate_target, target, guess);
        else rect_score = pair_choice_score(rect, rate_target, target, rect_guess);
    });
    // At a quality target the score is minus the rate: the margin as a rate
    // ratio along the usual slope.
    const bool ahead = rate_target ? rect_score > square + kKernelMarginDb
                                   : -rect_score < -square * std::exp2(-kKernelMarginDb / kDbPerDoubling);
    if (!ahead) return chosen;
    s = t;
    guess = rect_guess;
    return rect;
}

}  // namespace

EncodedImage encode_image_at_rate(EncoderSettings& s, const ImagePlanes& p, double target, Input422 in422) {
    Searcher search(s, p, in422);
    return encode_at_rate(s, search, target, first_guess(s), Workers{1});
}

EncodedImage encode_image_at_psnr(EncoderSettings& s, const ImagePlanes& p, double target_db, Input422 in422) {
    Searcher search(s, p, in422);
    return encode_at_psnr(s, search, target_db, first_guess(s), Workers{1});
}

void set_fast_lossy_modes(EncoderSettings& s, const ImagePlanes& p, Input422 in422, bool rate_target,
                          double target, bool fix_kernel, bool fix_ct, bool fix_pred) {
    int guess = 0;
    Searchers searchers(p, in422);
    fast_search(s, p, in422, searchers, rate_target, target, fix_kernel, fix_ct, fix_pred, guess);
}

EncodedImage encode_image_fast(EncoderSettings& s, const ImagePlanes& p, Input422 in422, bool rate_target,
                               double target, bool fix_kernel, bool fix_ct, bool fix_pred, unsigned threads) {
    int guess = 0;
    Searchers searchers(p, in422, threads);
    Searcher& search = fast_search(s, p, in422, searchers, rate_target, target, fix_kernel, fix_ct, fix_pred, guess);
    return rate_target ? encode_at_rate(s, search, target, guess, searchers.workers())
                       : encode_at_psnr(s, search, target, guess, searchers.workers());
}

void set_best_lossy_modes(EncoderSettings& s, const ImagePlanes& p, Input422 in422, bool rate_target,
                          double target, bool fix_kernel, bool fix_ct, bool fix_pred) {
    Searchers searchers(p, in422);
    int hint = 0;
    set_fast_modes(s, p, in422, searchers, rate_target, target, fix_kernel, fix_ct, fix_pred, hint);
    std::vector<unsigned> kernels = {s.w_kernel}, cts = {s.ct_mode}, preds = {s.pred_mode};
    if (!fix_kernel) kernels = {4, 3, 5};
    if (!fix_ct && s.component_format == kFormatThreePlanes) cts = {s.ct_mode, 10};
    if (!fix_pred) preds = {2, 0};
    double best = -INFINITY;
    EncoderSettings chosen = s;
    int q_hint = 16 + 4 * (s.bit_depth - 8);
    for (unsigned k : kernels)
        for (unsigned ct : cts)
            for (unsigned pr : preds) {
                EncoderSettings t = s;
                t.w_kernel = uint8_t(k);
                t.ct_mode = uint8_t(ct);
                t.pred_mode = uint8_t(pr);
                // The up-shifting transform clips at 10 bits with these kernels.
                if (ct == 3 && t.bit_depth != 8) continue;
                set_weighted_offsets(t);
                const double v = score(t, p, in422, rate_target, target, q_hint, nullptr);
                if (v > best) best = v, chosen = t;
            }
    s = chosen;
    // The chroma bias measured on the image.
    if (!color_transformed(s.component_format, s.ct_mode)) return;
    for (const int bias : {1, 2}) {
        EncoderSettings t = s;
        set_weighted_offsets(t, bias);
        const double v = score(t, p, in422, rate_target, target, q_hint, nullptr);
        if (v > best) best = v, chosen = t;
    }
    s = chosen;
}

}  // namespace Vantrel::QVX::enc
