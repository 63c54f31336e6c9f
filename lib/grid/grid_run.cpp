// Threads compute blocks of pixels in any order; the stages take them in
// pixel order, the first on the calling thread, each other on its own
// (block_queue.h).
#include "grid/grid_run.h"

#include "grid/block_queue.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "grid/quantities.h"

namespace sts {

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

void prepare(block_slot* s, const grid_description& d, const run_settings& rs, uint64_t first,
             int count) {
    pixel_block& b = s->results;
    b.first = first;
    b.count = count;
    b.points = d.points;
    const auto n = static_cast<size_t>(count) * static_cast<size_t>(d.points);
    for (const pixel_quantity& q : pixel_quantities)
        (b.*q.values)
            .assign(written_in(q, d) ? static_cast<size_t>(count) *
                                           values_per_pixel(q, static_cast<size_t>(d.points))
                                     : 0,
                    NaN);
    b.position_x.assign(static_cast<size_t>(count), NaN);
    b.position_y.assign(static_cast<size_t>(count), NaN);
    b.recorded.assign(d.recorded.size(), std::vector<float>(static_cast<size_t>(count), NaN));
    b.status.assign(static_cast<size_t>(count), PIXEL_PROCESSED);
    b.moments.assign(rs.lockin.use == lockin_use::sums ? static_cast<size_t>(count) : 0,
                     lockin_moments{});
    prepare_gap(rs.gap, count, &b);
    prepare_fit(rs.fit, count, &b);
    input_block& in = s->inputs;
    in.bias.assign(rs.keep_input ? n : 0, NaN);
    in.current.assign(rs.keep_input ? n : 0, NaN);
    in.n.assign(rs.keep_input ? static_cast<size_t>(count) : 0, 0);
}

pixel_code code_of(const spectrum_report& r) {
    switch (r.status) {
        case spectrum_status::ok: return PIXEL_PROCESSED;
        case spectrum_status::too_few_points: return PIXEL_TOO_FEW_POINTS;
        case spectrum_status::too_many_points: return PIXEL_TOO_MANY_POINTS;
        case spectrum_status::routine_failure: break;
    }
    // Two points give the broadening's parabola coinciding anchors.
    return r.n == 2 ? PIXEL_TWO_POINTS : PIXEL_ROUTINE_FAILURE;
}

void copy_to(std::vector<float>* to, size_t at, const std::vector<float>& from, int count) {
    std::copy_n(from.begin(), count, to->begin() + static_cast<std::ptrdiff_t>(at));
}

// The thread's own scratch space: two of what one spectrum needs, since
// two pixels go through the computation in step.
struct worker_state {
    pixel_input input[2];
    spectrum_workspace workspace[2];
    spectrum_arrays arrays[2];
    lockin_arrays lockin;
    smoothing_workspace smoothing;
    pixel_smoothing smoother;  // the run's plan and this thread's workspace
    std::unique_ptr<gap_fit_workspace> fit;  // --fit only
};

// A pixel's n values (its current, its lock-in) into out, smoothed when
// the run asks for it.
void load_series(const std::vector<float>& values, const pixel_smoothing& s, int n, float* out) {
    if (s.plan == nullptr)
        std::copy_n(values.begin(), n, out);
    else
        smooth_series(*s.plan, values.data(), out, n, s.workspace);
}

// The lock-in channel of a computed pixel: its fit sums only, or its
// calibrated and normalised curves with the line; a pixel whose lock-in
// cannot be calibrated keeps its numerical curves and says so in status.
void lockin_step(const pixel_input& in, const spectrum_report& r, const spectrum_arrays& a,
                 const pixel_smoothing& smoothing, const lockin_settings& ls, lockin_arrays* l,
                 const grid_description& d, size_t pixel, pixel_block* b) {
    const auto n_read = static_cast<int>(in.bias.size());
    if (l == nullptr || in.signal.size() != in.bias.size() || n_read > l->capacity) {
        if (ls.use != lockin_use::sums) b->status[pixel] = PIXEL_LOCKIN_FAILED;
        return;
    }
    std::copy_n(in.bias.begin(), n_read, l->bias.begin());
    // Smoothed as the current is, when the run asks for it.
    load_series(in.signal, smoothing, n_read, l->signal.data());
    if (ls.use == lockin_use::sums) {
        lockin_moments m;
        if (spectrum_moments(n_read, r, a, l, &m) == lockin_status::ok) b->moments[pixel] = m;
        return;
    }
    const lockin_report rep =
        compute_lockin(n_read, r, a, ls.use == lockin_use::fixed ? &ls.line : nullptr, l);
    if (rep.status != lockin_status::ok) {
        b->status[pixel] = PIXEL_LOCKIN_FAILED;
        return;
    }
    // A line that explains little of the numerical dI/dV: kept, but marked.
    if (ls.use == lockin_use::per_pixel && !(rep.r2 >= ls.min_r2))
        b->status[pixel] = PIXEL_LOCKIN_POOR_FIT;
    if (b->lockin_scale.empty()) return;  // a run that does not write them
    b->lockin_scale[pixel] = rep.scale;
    b->lockin_offset[pixel] = rep.offset;
    b->lockin_r2[pixel] = rep.r2;
    const size_t mid = pixel * static_cast<size_t>(d.points - 1);
    copy_to(&b->didv_lockin, mid, l->didv, r.n - 1);
    copy_to(&b->norm_raw_lockin, mid, l->norm_raw, r.n - 1);
    copy_to(&b->norm_exp_lockin, mid, l->norm_exp, r.n - 1);
    copy_to(&b->norm_coff_lockin, mid, l->norm_coff, r.n - 1);
}

// An infinite current or lock-in value (a stored infinity, or a value
// beyond float's range that became one on the way to nA) is no more a
// measurement than a NaN: made NaN here, it takes a NaN's road everywhere
// after (the pixel PIXEL_PARTLY_MEASURED, its values out of the
// statistics), where one infinity used to make every result of the
// spectrum and every mean over the grid NaN.
void undefine_infinities(pixel_input* in) {
    for (std::vector<float>* values : {&in->current, &in->signal})
        for (float& v : *values)
            if (std::isinf(v)) v = NaN;
}

// The checks before a pixel is computed: false with its status set when it
// is not to be, its points loaded into a when it is.
bool load_pixel(const pixel_input& in, const spectrum_workspace& w, spectrum_arrays* a,
                size_t pixel, pixel_block* b, const pixel_smoothing& smoothing) {
    b->position_x[pixel] = in.x_nm;
    b->position_y[pixel] = in.y_nm;
    if (!b->position_frame_x.empty()) {
        b->position_frame_x[pixel] = in.frame_x_nm;
        b->position_frame_y[pixel] = in.frame_y_nm;
    }
    if (!b->topography.empty()) b->topography[pixel] = in.topography_nm;
    for (size_t k = 0; k < b->recorded.size() && k < in.recorded.size(); ++k)
        b->recorded[k][pixel] = in.recorded[k];
    if (in.code != PIXEL_PROCESSED) {
        b->status[pixel] = in.code;
        return false;
    }
    const int n_read = static_cast<int>(in.bias.size());
    // A sweep cut short leaves NaN in place of currents; one NaN current
    // makes every result of the spectrum NaN, so the pixel is marked.
    if (std::any_of(in.current.begin(), in.current.end(), [](float v) { return std::isnan(v); })) {
        b->status[pixel] = PIXEL_PARTLY_MEASURED;
        return false;
    }
    if (n_read > a->capacity || n_read > w.capacity) {
        b->status[pixel] = PIXEL_TOO_MANY_POINTS;
        return false;
    }
    std::copy_n(in.bias.begin(), n_read, a->bias.begin());
    load_series(in.current, smoothing, n_read, a->current.data());
    return true;
}

// A computed pixel's status and results into the block.
void store_pixel(const pixel_input& in, const spectrum_report& r, const spectrum_arrays& a,
                 const grid_description& d, size_t pixel, pixel_block* b,
                 const pixel_smoothing& smoothing, const lockin_settings& ls, lockin_arrays* l) {
    b->status[pixel] = code_of(r);
    if (b->status[pixel] != PIXEL_PROCESSED) return;
    const size_t at = pixel * static_cast<size_t>(d.points);
    const size_t mid = pixel * static_cast<size_t>(d.points - 1);
    copy_to(&b->current, at, a.current, r.n);
    copy_to(&b->iv, at, a.iv_raw, r.n);
    copy_to(&b->didv, mid, a.didv, r.n - 1);
    copy_to(&b->norm_raw, mid, a.norm_raw, r.n - 1);
    copy_to(&b->norm_exp, mid, a.norm_exp, r.n - 1);
    copy_to(&b->norm_coff, mid, a.norm_coff, r.n - 1);
    if (d.per_pixel_axis) {
        copy_to(&b->bias, at, a.bias, r.n);
        copy_to(&b->vmid, mid, a.vmid, r.n - 1);
    }
    if (ls.use != lockin_use::off) lockin_step(in, r, a, smoothing, ls, l, d, pixel, b);
}

// The pixel's input kept beside its results, for the statistics of the
// measured current.
void keep_input(const pixel_input& in, const grid_description& d, int k, input_block* kept) {
    if (in.code != PIXEL_PROCESSED) return;
    const int n = std::min(static_cast<int>(in.bias.size()), d.points);
    const size_t at = static_cast<size_t>(k) * static_cast<size_t>(d.points);
    copy_to(&kept->bias, at, in.bias, n);
    copy_to(&kept->current, at, in.current, n);
    kept->n[static_cast<size_t>(k)] = n;
}

// Pixels k and k + 1 of the block (k alone when it is the last), their
// spectra computed in step when both are to be computed.
void compute_pair(const grid_source& src, const grid_description& d, const run_settings& rs,
                  worker_state* w, int k, block_slot* s) {
    pixel_block& b = s->results;
    const int count = std::min(2, b.count - k);
    bool loaded[2] = {false, false};
    int n_read[2] = {0, 0};
    for (int i = 0; i < count; ++i) {
        const pixel_input& in = w->input[i];
        src.read(b.first + static_cast<uint64_t>(k + i), &w->input[i]);
        undefine_infinities(&w->input[i]);
        if (rs.keep_input) keep_input(in, d, k + i, &s->inputs);
        loaded[i] = load_pixel(in, w->workspace[i], &w->arrays[i], static_cast<size_t>(k + i),
                               &b, w->smoother);
        n_read[i] = static_cast<int>(in.bias.size());
    }
    spectrum_report r[2];
    if (loaded[0] && loaded[1]) {
        spectrum_workspace* ws[2] = {&w->workspace[0], &w->workspace[1]};
        spectrum_arrays* as[2] = {&w->arrays[0], &w->arrays[1]};
        compute_spectra_in_step(n_read, rs.norm, ws, as, r);
    } else {
        for (int i = 0; i < count; ++i)
            if (loaded[i])
                r[i] = compute_spectrum(n_read[i], rs.norm, &w->workspace[i], &w->arrays[i]);
    }
    for (int i = 0; i < count; ++i) {
        if (loaded[i])
            store_pixel(w->input[i], r[i], w->arrays[i], d, static_cast<size_t>(k + i), &b,
                        w->smoother, rs.lockin, &w->lockin);
        record_gap(rs.gap, d, k + i, &b);
        record_fit(rs.fit, d, k + i, &b, w->fit.get());
    }
}

void compute_block(const grid_source& src, const grid_description& d, const run_settings& rs,
                   worker_state* w, block_slot* s) {
    for (int k = 0; k < s->results.count; k += 2) compute_pair(src, d, rs, w, k, s);
}

}  // namespace

void compute_pixel(const pixel_input& in, const norm_options& o, spectrum_workspace* w,
                   spectrum_arrays* a, const grid_description& d, int k, pixel_block* b,
                   const pixel_smoothing& smoothing, const lockin_settings& ls,
                   lockin_arrays* l) {
    const auto pixel = static_cast<size_t>(k);
    if (!load_pixel(in, *w, a, pixel, b, smoothing)) return;
    const spectrum_report r = compute_spectrum(static_cast<int>(in.bias.size()), o, w, a);
    store_pixel(in, r, *a, d, pixel, b, smoothing, ls, l);
}

namespace {

bool make_worker(worker_state* w, const grid_description& d, const run_settings& s,
                 const smoothing_plan* plan) {
    const int capacity = std::max(1, std::min(d.points, MAX_POINTS));
    if (plan != nullptr) {
        if (!reserve_smoothing(*plan, &w->smoothing)) return false;
        w->smoother = {plan, &w->smoothing};
    }
    if (s.fit.curve != nullptr) w->fit = std::make_unique<gap_fit_workspace>();
    for (int i = 0; i < 2; ++i) {
        if (!reserve_workspace(&w->workspace[i], capacity) ||
            !reserve_arrays(&w->arrays[i], capacity))
            return false;
        if (s.lockin.use != lockin_use::off && !keep_divisors(&w->arrays[i])) return false;
    }
    return s.lockin.use == lockin_use::off || reserve_lockin_arrays(&w->lockin, capacity);
}

}  // namespace

bool run_grid(const grid_source& source, const grid_description& d, const run_settings& s,
              const block_sink& sink, std::string* error) {
    return run_grid(source, d, s, std::vector<block_sink>{sink}, error);
}

namespace {

// What the stages' threads share: the first failure, whichever stage it
// came from, stops the run.
struct stage_failure {
    std::mutex mutex;
    bool failed = false;
    std::string error;

    void report(const std::string& e, block_queue* queue) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (failed) return;
            failed = true;
            error = e;
        }
        queue->stop();
    }
    bool has_failed() {
        std::lock_guard<std::mutex> lock(mutex);
        return failed;
    }
};

// One stage: every block in order, until the last or a stop.
void run_stage(const block_sink& sink, uint64_t blocks, block_queue* queue,
               stage_failure* failure) {
    for (uint64_t index = 0; index < blocks; ++index) {
        const block_slot* slot = queue->wait_for(index);
        if (!slot) return;
        std::string e;
        if (!sink(slot->results, slot->inputs, &e)) {
            failure->report(e, queue);
            return;
        }
        queue->pass(index);
    }
}

}  // namespace

bool run_grid(const grid_source& source, const grid_description& d, const run_settings& s,
              const std::vector<block_sink>& stages, std::string* error) {
    const uint64_t pixels = static_cast<uint64_t>(d.nx) * static_cast<uint64_t>(d.ny);
    const auto per_block = static_cast<uint64_t>(s.block_pixels);
    const uint64_t blocks = (pixels + per_block - 1) / per_block;
    const int threads = std::max(1, s.threads);
    // The weights depend only on the window and the order: made once a run.
    smoothing_plan plan;
    if (s.smooth_window > 0 && !make_smoothing_plan(s.smooth_window, s.smooth_order, &plan)) {
        *error = "cannot smooth with a window of " + std::to_string(s.smooth_window) +
                 " points and order " + std::to_string(s.smooth_order);
        return false;
    }
    const smoothing_plan* smoothing = s.smooth_window > 0 ? &plan : nullptr;
    std::vector<worker_state> workers(static_cast<size_t>(threads));
    for (auto& w : workers) {
        if (!make_worker(&w, d, s, smoothing)) {
            *error = "not enough memory for the threads' working space";
            return false;
        }
    }
    block_queue queue(blocks, 2 * static_cast<uint64_t>(threads) + 2 * stages.size(),
                      static_cast<int>(stages.size()));
    auto work = [&](worker_state* w) {
        uint64_t index = 0;
        std::unique_ptr<block_slot> slot;
        while (queue.take(&index, &slot)) {
            const uint64_t first = index * per_block;
            prepare(slot.get(), d, s, first, static_cast<int>(std::min(per_block, pixels - first)));
            compute_block(source, d, s, w, slot.get());
            queue.finish(index, std::move(slot));
        }
    };
    // Fewer workers than asked when the system gives fewer threads; none,
    // or no thread for a stage, ends the run with a message (a vector of
    // running threads must not be given up unjoined).
    std::vector<std::thread> pool;
    stage_failure failure;
    try {
        for (auto& w : workers) pool.emplace_back(work, &w);
    } catch (const std::system_error& e) {
        if (pool.empty()) failure.report(std::string("cannot start a thread: ") + e.what(), &queue);
    }
    std::vector<std::thread> later_stages;
    try {
        for (size_t k = 1; k < stages.size() && !failure.has_failed(); ++k)
            later_stages.emplace_back(run_stage, std::cref(stages[k]), blocks, &queue, &failure);
    } catch (const std::system_error& e) {
        failure.report(std::string("cannot start a thread: ") + e.what(), &queue);
    }
    if (!stages.empty() && !failure.has_failed())
        run_stage(stages.front(), blocks, &queue, &failure);
    for (auto& t : later_stages) t.join();
    queue.stop();
    for (auto& t : pool) t.join();
    if (failure.failed) *error = failure.error;
    return !failure.failed;
}

}  // namespace sts
