#include "entropy/subband_loop.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/error.h"
#include "base/messages.h"
#include "entropy/index_pass.h"
#include "entropy/line_buffer.h"
#include "entropy/prediction.h"
#include "entropy/reconstruct.h"
#include "entropy/stream_decoder.h"
#include "frame/image_memory.h"
#include "frame/parallel.h"

namespace Vantrel::QVX {

namespace {

// Where a failure stands in the serial decoding order: position, then the
// stream's place within the position, then decoding before reconstruction.
struct Failure {
    uint64_t position;
    uint32_t stream;
    uint32_t phase;
    std::string text;
    auto key() const { return std::tie(position, stream, phase); }
};

void keep_first(std::optional<Failure>& first, Failure f) {
    if (!first || f.key() < first->key()) first = std::move(f);
}

}  // namespace

void decode_subbands(const FrameState& fs, ImageMemory& coef, mem_data& input, Demultiplexer& demux,
                     Workers workers, uint64_t* words_needed, SubbandScratch* scratch,
                     const PlaneFollowers* follow) {
    SubbandScratch local;
    SubbandScratch& work = scratch ? *scratch : local;
    LineBuffer lb;
    lb.setup(fs);
    workers.threads = resolve_thread_count(workers.threads);
    const unsigned threads = workers.threads;

    demux.byte_swap = fs.version == 0;
    // The words are copied in runs of packets, several at a time when the
    // input is large enough to pay for the threads.
    constexpr uint64_t kRunBytes = uint64_t(1) << 18;
    const uint64_t left = input.size > input.bytes_read ? input.size - input.bytes_read : 0;
    demux.count(fs, input, threads > 1 && left >= 2 * kRunBytes ? unsigned(std::min<uint64_t>(4 * threads, left / kRunBytes)) : 1u);
    parallel_for(workers, demux.parts(), [&](size_t i) { demux.copy_part(fs, i); });

    const unsigned nc = coef.num_components();
    const unsigned nsb = coef.num_subbands();
    const unsigned sbw = coef.sb_width();
    const unsigned sbh = coef.sb_height();
    const uint32_t positions = sbw * sbh;
    const unsigned nstreams = nc * nsb;
    const bool subsampled = fs.subsampled != 0;
    const bool rate_control = fs.rc_drain != 0;

    // Chroma of a subsampled frame is decoded at every other position.
    auto every_other = [&](unsigned c) { return subsampled && c > 0; };

    // Where each subband's cells lie in the plane, and its reconstruction.
    std::vector<BandRows> bands(nstreams);
    for (unsigned c = 0; c < nc; ++c) {
        for (unsigned sb = 0; sb < nsb; ++sb) {
            BandRows& b = bands[c * nsb + sb];
            const uint32_t c0 = coef.subband_column(uint8_t(sb), 0), r0 = coef.subband_row(uint8_t(sb), 0);
            b.qp_offset = fs.component_params[c][c0 % 4][r0 % 4];
            b.predictor = predictor_of(prediction_mode(sb, fs.w_kernel, fs.pred_mode), fs.pred_mode);
            b.every_other = every_other(c);
            b.col0 = c0;
            b.col_step = coef.subband_column(uint8_t(sb), 1) - c0;
            b.row0 = r0;
            b.row_step = coef.subband_row(uint8_t(sb), 1) - r0;
        }
    }
    // Bands that share plane rows form one job, decoded and reconstructed by
    // one thread, so no two threads write the same rows of a scheme-1 plane.
    struct Group {
        unsigned c;
        std::vector<unsigned> streams;
    };
    std::vector<Group> groups;
    for (unsigned c = 0; c < nc; ++c) {
        std::vector<bool> placed(nsb, false);
        for (unsigned sb = 0; sb < nsb; ++sb) {
            if (placed[sb]) continue;
            Group g{c, {}};
            const BandRows& lead = bands[c * nsb + sb];
            for (unsigned t = sb; t < nsb; ++t) {
                const BandRows& b = bands[c * nsb + t];
                if (!placed[t] && b.row0 == lead.row0 && b.row_step == lead.row_step) {
                    g.streams.push_back(c * nsb + t);
                    placed[t] = true;
                }
            }
            groups.push_back(std::move(g));
        }
    }

    // Jobs and results are kept in group order; slot[s] finds stream s.
    unsigned slot[64] = {};
    std::vector<size_t> group_first(groups.size() + 1, 0);
    for (size_t gi = 0, at = 0; gi < groups.size(); ++gi) {
        group_first[gi] = at;
        for (unsigned s : groups[gi].streams) slot[s] = unsigned(at++);
        group_first[gi + 1] = at;
    }
    // Stream s = c * nsb + sb, one value per decoded position.
    std::vector<StreamJob> jobs(nstreams);
    std::vector<StreamResult> results(nstreams);
    uint16_t* group_bits = nullptr;
    if (rate_control) {
        const size_t n = size_t(positions) * groups.size();
        group_bits = work.group_bits.room(n);
        std::fill_n(group_bits, n, uint16_t(0));
    }
    // Each stream may lend room for a crossing per word, and two more.
    size_t crossing_room = 0;
    for (unsigned s = 0; s < nstreams; ++s) crossing_room += demux.stream_words(s).size() + 2;
    uint32_t* room = work.crossings.room(crossing_room);
    for (size_t gi = 0; gi < groups.size(); ++gi) {
        for (unsigned s : groups[gi].streams) {
            const unsigned c = groups[gi].c;
            const BandRows& b = bands[s];
            StreamJob& j = jobs[slot[s]];
            j.words = demux.stream_words(s);
            j.stream = s;
            j.shift = every_other(c) ? 1 : 0;
            j.num_values = every_other(c) ? (positions + 1) / 2 : positions;
            // With one subband per component every stream reads the count of
            // group 0, which advances at every position.
            j.count_step = every_other(c) && nsb == 1 ? 2 : 1;
            j.fourteen_bit = fs.bit_depth == 14;
            j.row_positions = sbw;
            j.out = coef.splane(c) + size_t(b.row0) * coef.width() + b.col0;
            j.row_pitch = size_t(b.row_step) * coef.width();
            j.col_step = b.col_step;
            if (group_bits) j.position_bits = group_bits + gi * size_t(positions);
            StreamResult& r = results[slot[s]];
            r.room = room;
            r.room_size = j.words.size() + 2;
            room += r.room_size;
        }
    }

    // Streams are independent: decode them all, each to its end or its
    // first failure. A group is one task: with rate control its streams
    // sum their code lengths into one array, and its streams share the
    // cells of their plane rows, which they write in turn row by row (in
    // pairs that decode value by value together). The longest tasks go
    // first, so the last ones to finish are short.
    struct Task {
        size_t at;
        unsigned count;
        uint64_t words;
    };
    std::vector<Task> tasks;
    for (size_t gi = 0; gi < groups.size(); ++gi) {
        const unsigned size = unsigned(group_first[gi + 1] - group_first[gi]);
        for (size_t at = group_first[gi]; at < group_first[gi + 1]; at += size) {
            const unsigned count = unsigned(std::min<size_t>(size, group_first[gi + 1] - at));
            uint64_t words = 0;
            for (unsigned i = 0; i < count; ++i) words += jobs[at + i].words.size();
            tasks.push_back({at, count, words});
        }
    }
    std::stable_sort(tasks.begin(), tasks.end(), [](const Task& a, const Task& b) { return a.words > b.words; });
    parallel_for(workers, tasks.size(), [&](size_t t) {
        decode_streams(&jobs[tasks[t].at], &results[tasks[t].at], tasks[t].count);
    });

    if (words_needed)
        for (unsigned s = 0; s < nstreams; ++s) words_needed[s] = results[slot[s]].words_needed;

    // The failure serial decoding would meet first, and where it stops the
    // rate-control steps.
    std::optional<Failure> failure;
    for (unsigned s = 0; s < nstreams; ++s)
        if (const StreamResult& r = results[slot[s]]; !r.error.empty())
            keep_first(failure, {uint64_t(r.decoded) << jobs[slot[s]].shift, s, 0, r.error});
    if (fs.pred_mode > 7 && fs.w_kernel <= 6 && sbw >= 2 && sbh >= 2)
        keep_first(failure, {uint64_t(sbw) + 1, 0, 1, msg::kWrongPredictionMode});
    const uint32_t steps = failure ? uint32_t(failure->position) : positions;

    uint32_t* position_bits = nullptr;
    if (rate_control) {
        position_bits = work.position_bits.room(positions);
        std::fill_n(position_bits, positions, 0u);
        uint32_t* sum = position_bits;
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            const uint16_t* g = group_bits + gi * size_t(positions);
            for (uint32_t p = 0; p < steps; ++p) sum[p] += g[p];
        }
    }

    StreamCrossings crossings[64];
    for (unsigned s = 0; s < nstreams; ++s)
        crossings[s] = {results[slot[s]].crossing_list(), jobs[slot[s]].shift};
    int8_t* const q = work.index.room(positions);
    // Runs of equal indices within each row, for row-wise dequantisation.
    uint32_t* const run_end = work.run_end.room(positions);
    const PositionIndex index{q, run_end, sbw};

    std::vector<BandRows> ordered;
    std::vector<std::pair<size_t, size_t>> row_jobs;
    for (const Group& g : groups) {
        row_jobs.emplace_back(ordered.size(), g.streams.size());
        for (unsigned s : g.streams) ordered.push_back(bands[s]);
    }
    // Subband rows each group has reconstructed, for the work that follows.
    const std::unique_ptr<std::atomic<uint32_t>[]> group_rows(new std::atomic<uint32_t>[groups.size()]());
    auto reconstruct = [&](size_t i, const RowsReady* rows) {
        reconstruct_bands(ordered.data() + row_jobs[i].first, unsigned(row_jobs[i].second), index, sbh,
                          coef.splane(groups[i].c), coef.width(), rows, &group_rows[i]);
    };

    // The index pass hands out rows as it finishes them.
    struct Rows final : IndexRows {
        const int8_t* q;
        uint32_t* run_end;
        RowsReady ready;
        void row_done(uint32_t y) override {
            const uint32_t row = y * row_positions;
            uint32_t end = row + row_positions;
            for (uint32_t x = row_positions; x-- > 0;) {
                const uint32_t p = row + x;
                if (p + 1 < end && q[p] != q[p + 1]) end = p + 1;
                run_end[p] = end;
            }
            ready.ready.store(y + 1, std::memory_order_release);
        }
    } rows;
    rows.row_positions = sbw;
    rows.q = q;
    rows.run_end = run_end;
    const std::span<const uint8_t> dominant = demux.dominant_list();

    if (failure || threads <= 1) {
        run_index_pass(lb, fs, dominant, position_bits, crossings, steps, q, &rows);
        if (failure) raise(failure->text);
        parallel_for(workers, groups.size(), [&](size_t i) { reconstruct(i, nullptr); });
        if (follow) {
            const PlaneFollowers::Ready all = [](unsigned, size_t) { return true; };
            parallel_for(workers, follow->count, [&](size_t i) { follow->run(i, all); });
        }
        return;
    }
    // Plane rows [0, n) of component c are final once every group of c has
    // reconstructed the subband rows that land above row n.
    const PlaneFollowers::Ready ready = [&](unsigned c, size_t n) {
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            if (groups[gi].c != c) continue;
            const BandRows& b = bands[groups[gi].streams[0]];
            size_t need = 0;
            if (n > b.row0)
                need = b.row_step ? std::min<size_t>(sbh, (n - b.row0 + b.row_step - 1) / b.row_step) : sbh;
            while (group_rows[gi].load(std::memory_order_acquire) < need) {
                if (rows.ready.abandoned.load(std::memory_order_acquire)) return false;
                std::this_thread::yield();
            }
        }
        return !rows.ready.abandoned.load(std::memory_order_acquire);
    };
    const size_t followers = follow ? follow->count : 0;
    // Task 0, the index pass, is always taken first and waits for nothing,
    // so the reconstruction tasks waiting for its rows always see them
    // come, or see it fail; the following work comes after every
    // reconstruction task and waits only for them.
    parallel_for(workers, groups.size() + 1 + followers, [&](size_t i) {
        if (i > groups.size()) {
            follow->run(i - groups.size() - 1, ready);
            return;
        }
        if (i > 0) {
            reconstruct(i - 1, &rows.ready);
            return;
        }
        try {
            run_index_pass(lb, fs, dominant, position_bits, crossings, steps, q, &rows);
        } catch (...) {
            rows.ready.abandoned.store(true, std::memory_order_release);
            throw;
        }
    });
}

}  // namespace Vantrel::QVX
