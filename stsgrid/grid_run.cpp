// Threads compute blocks of pixels in any order; the stages take them in
// pixel order, the first on the calling thread, each other on its own
// (block_queue.h).
#include "stsgrid/grid_run.h"

#include "stsgrid/block_queue.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "stsgrid/quantities.h"

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
    b.status.assign(static_cast<size_t>(count), PIXEL_PROCESSED);
    prepare_gap(rs.gap, count, &b);
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

// The thread's own scratch space.
struct worker_state {
    pixel_input input;
    spectrum_workspace workspace;
    spectrum_arrays arrays;
    smoothing_workspace smoothing;
    pixel_smoothing smoother;  // the run's plan and this thread's workspace
};

void compute_block(const grid_source& src, const grid_description& d, const run_settings& rs,
                   worker_state* w, block_slot* s) {
    pixel_block& b = s->results;
    for (int k = 0; k < b.count; ++k) {
        src.read(b.first + static_cast<uint64_t>(k), &w->input);
        if (rs.keep_input && w->input.code == PIXEL_PROCESSED) {
            const int n = std::min(static_cast<int>(w->input.bias.size()), d.points);
            const size_t at = static_cast<size_t>(k) * static_cast<size_t>(d.points);
            copy_to(&s->inputs.bias, at, w->input.bias, n);
            copy_to(&s->inputs.current, at, w->input.current, n);
            s->inputs.n[static_cast<size_t>(k)] = n;
        }
        compute_pixel(w->input, rs.norm, &w->workspace, &w->arrays, d, k, &b, w->smoother);
        record_gap(rs.gap, d, k, &b);
    }
}

// The pixel's n currents into current, smoothed when the run asks for it.
void load_current(const pixel_input& in, const pixel_smoothing& s, int n, float* current) {
    if (s.plan == nullptr)
        std::copy_n(in.current.begin(), n, current);
    else
        smooth_series(*s.plan, in.current.data(), current, n, s.workspace);
}

}  // namespace

void compute_pixel(const pixel_input& in, const norm_options& o, spectrum_workspace* w,
                   spectrum_arrays* a, const grid_description& d, int k, pixel_block* b,
                   const pixel_smoothing& smoothing) {
    const auto pixel = static_cast<size_t>(k);
    b->position_x[pixel] = in.x_nm;
    b->position_y[pixel] = in.y_nm;
    if (in.code != PIXEL_PROCESSED) {
        b->status[pixel] = in.code;
        return;
    }
    const int n_read = static_cast<int>(in.bias.size());
    // A sweep cut short leaves NaN in place of currents; one NaN current
    // makes every result of the spectrum NaN, so the pixel is marked.
    if (std::any_of(in.current.begin(), in.current.end(), [](float v) { return std::isnan(v); })) {
        b->status[pixel] = PIXEL_PARTLY_MEASURED;
        return;
    }
    if (n_read > a->capacity || n_read > w->capacity) {
        b->status[pixel] = PIXEL_TOO_MANY_POINTS;
        return;
    }
    std::copy_n(in.bias.begin(), n_read, a->bias.begin());
    load_current(in, smoothing, n_read, a->current.data());
    const spectrum_report r = compute_spectrum(n_read, o, w, a);
    b->status[pixel] = code_of(r);
    if (b->status[pixel] != PIXEL_PROCESSED) return;
    const size_t at = pixel * static_cast<size_t>(d.points);
    const size_t mid = pixel * static_cast<size_t>(d.points - 1);
    copy_to(&b->current, at, a->current, r.n);
    copy_to(&b->iv, at, a->iv_raw, r.n);
    copy_to(&b->didv, mid, a->didv, r.n - 1);
    copy_to(&b->norm_raw, mid, a->norm_raw, r.n - 1);
    copy_to(&b->norm_exp, mid, a->norm_exp, r.n - 1);
    copy_to(&b->norm_coff, mid, a->norm_coff, r.n - 1);
    if (d.per_pixel_axis) {
        copy_to(&b->bias, at, a->bias, r.n);
        copy_to(&b->vmid, mid, a->vmid, r.n - 1);
    }
}

namespace {

bool make_worker(worker_state* w, const grid_description& d, const smoothing_plan* plan) {
    const int capacity = std::max(1, std::min(d.points, MAX_POINTS));
    if (plan != nullptr) {
        if (!reserve_smoothing(*plan, &w->smoothing)) return false;
        w->smoother = {plan, &w->smoothing};
    }
    return reserve_workspace(&w->workspace, capacity) && reserve_arrays(&w->arrays, capacity);
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
        if (!make_worker(&w, d, smoothing)) {
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
    std::vector<std::thread> pool;
    for (auto& w : workers) pool.emplace_back(work, &w);
    stage_failure failure;
    std::vector<std::thread> later_stages;
    for (size_t k = 1; k < stages.size(); ++k)
        later_stages.emplace_back(run_stage, std::cref(stages[k]), blocks, &queue, &failure);
    if (!stages.empty()) run_stage(stages.front(), blocks, &queue, &failure);
    for (auto& t : later_stages) t.join();
    queue.stop();
    for (auto& t : pool) t.join();
    if (failure.failed) *error = failure.error;
    return !failure.failed;
}

}  // namespace sts
