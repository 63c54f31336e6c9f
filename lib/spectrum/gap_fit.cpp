// A gap fit of one curve with GSL's trust-region solver: see gap_fit.h.
#include "spectrum/gap_fit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "spectrum/gap_fit_internal.h"
#include "spectrum/gap_fit_start.h"

namespace sts {

const char* const gap_fit_status_names =
    "converged at_bound no_gap too_few_points bad_input not_converged not_computed poor_fit";

namespace {


enum slot { P_gap, P_gamma, P_temperature, P_tip_gap, P_tip_gamma, P_scale, P_offset,
            P_background, slot_count };

// How a free parameter p is reached from the solver's u.
enum class mapping { log_bounded, bounded, open };
struct parameter {
    bool free = false;
    mapping how = mapping::open;
    double lo = 0, hi = 0;  // bounds (of log p for log_bounded)
    double value = 0;       // the fixed value, or the start
};

double logistic(double u) { return u >= 0 ? 1 / (1 + std::exp(-u)) : std::exp(u) / (1 + std::exp(u)); }

double to_value(const parameter& q, double u) {
    switch (q.how) {
    case mapping::log_bounded: return std::exp(q.lo + (q.hi - q.lo) * logistic(u));
    case mapping::bounded: return q.lo + (q.hi - q.lo) * logistic(u);
    case mapping::open: break;
    }
    return u;
}

// The start u of a value, kept 1e-3 of the range inside the bounds.
double to_solver(const parameter& q, double v) {
    if (q.how == mapping::open) return v;
    const double x = q.how == mapping::log_bounded ? std::log(v) : v;
    const double t = std::clamp((x - q.lo) / (q.hi - q.lo), 1e-3, 1 - 1e-3);
    return std::log(t / (1 - t));
}

// dp/du, for the standard errors.
double slope(const parameter& q, double u) {
    const double s = logistic(u) * (1 - logistic(u));
    switch (q.how) {
    case mapping::log_bounded: return to_value(q, u) * (q.hi - q.lo) * s;
    case mapping::bounded: return (q.hi - q.lo) * s;
    case mapping::open: break;
    }
    return 1;
}

bool near_bound(const parameter& q, double u) {
    const double t = logistic(u);
    return q.how != mapping::open && (t < 1e-3 || t > 1 - 1e-3);
}

}  // namespace

struct gap_fit_workspace::impl {
    fit_scratch scratch;
    std::vector<double> bias, didv, model;
    parameter par[slot_count];
    int free_slot[slot_count];
    int free_count = 0;
    int evaluations = 0;
    gap_curve curve;
    dip_core dip;  // the data's dip, for the poor_fit test
    gsl_multifit_nlinear_workspace* solver = nullptr;
    size_t solver_n = 0, solver_p = 0;
    gsl_vector* weights = nullptr;
    gsl_vector* start = nullptr;
    gsl_matrix* covariance = nullptr;

    ~impl() { release(); }
    void release() {
        if (solver) gsl_multifit_nlinear_free(solver);
        if (weights) gsl_vector_free(weights);
        if (start) gsl_vector_free(start);
        if (covariance) gsl_matrix_free(covariance);
        solver = nullptr;
        weights = start = nullptr;
        covariance = nullptr;
    }
    // The curve's parameters from the solver's vector.
    void apply(const gsl_vector* u) {
        double v[slot_count];
        for (int k = 0; k < slot_count; ++k) v[k] = par[k].value;
        for (int j = 0; j < free_count; ++j)
            v[free_slot[j]] = to_value(par[free_slot[j]], gsl_vector_get(u, static_cast<size_t>(j)));
        curve.gap = v[P_gap];
        curve.gamma = v[P_gamma];
        curve.temperature = v[P_temperature];
        curve.tip_gap = v[P_tip_gap];
        curve.tip_gamma = v[P_tip_gamma];
        curve.scale = v[P_scale];
        curve.offset = v[P_offset];
        curve.background = v[P_background];
    }
};

gap_fit_workspace::gap_fit_workspace() : impl_(std::make_unique<impl>()) {
    // GSL's default handler aborts the process on an error; its codes are
    // all the fit needs.  The handler is GSL's one global: set it once.
    static std::once_flag once;
    std::call_once(once, [] { gsl_set_error_handler_off(); });
}
gap_fit_workspace::~gap_fit_workspace() = default;

bool evaluate_gap_curve(const gap_curve& c, const double* bias, int n, double* out,
                        gap_fit_workspace* w) {
    if (n <= 0) return true;
    return model_curve(c, bias, n, out, w->get().scratch);
}

void fitted_gap_curve(const gap_fit_settings& s, const gap_fit_result& r, const float* bias, int n,
                      float* out, gap_fit_workspace* w) {
    if (n <= 0) return;
    const bool fitted = r.status == gap_fit_status::converged ||
                        r.status == gap_fit_status::at_bound || r.status == gap_fit_status::poor_fit;
    if (!fitted) {
        std::fill(out, out + n, std::numeric_limits<float>::quiet_NaN());
        return;
    }
    const bool sis = s.model == gap_model::dynes_sis;
    gap_curve c{s.model, r.gap, r.gamma, r.temperature, sis ? r.tip_gap : 0.0,
                sis ? r.tip_gamma : 0.0, r.scale, r.offset, r.background, s.modulation,
                s.bias_to_meV};
    auto& m = w->get();
    m.bias.assign(bias, bias + n);
    m.model.resize(static_cast<size_t>(n));
    model_curve(c, m.bias.data(), n, m.model.data(), m.scratch);
    for (int i = 0; i < n; ++i) out[i] = static_cast<float>(m.model[static_cast<size_t>(i)]);
}


namespace {

using fit_impl = gap_fit_workspace::impl;

bool settings_valid(const gap_fit_settings& s) {
    const auto finite = [](double v) { return std::isfinite(v); };
    if (s.model != gap_model::dynes && s.model != gap_model::dynes_sis) return false;
    if (!finite(s.window) || !(s.window >= 0) || !finite(s.bias_to_meV) || !(s.bias_to_meV > 0))
        return false;
    if (!finite(s.temperature) || !(s.temperature > 0) || !(s.max_iterations >= 1)) return false;
    if (!finite(s.modulation) || !(s.modulation >= 0) || !finite(s.noise) || !(s.noise >= 0))
        return false;
    if (!finite(s.gap_min) || !(s.gap_min > 0) || !finite(s.gap_max) || !(s.gap_max >= 0) ||
        !finite(s.gamma_min) || !(s.gamma_min > 0) || !finite(s.gamma_max) || !(s.gamma_max >= 0))
        return false;
    if (!finite(s.temperature_min) || !finite(s.temperature_max) || !(s.temperature_min > 0) ||
        !(s.temperature_max > s.temperature_min))
        return false;
    if (s.model == gap_model::dynes_sis &&
        (!finite(s.tip_gap) || !(s.tip_gap >= 0) || !finite(s.tip_gamma) || !(s.tip_gamma > 0)))
        return false;
    return true;
}

// The points with |V| <= window into m.bias, m.didv; false for values that
// are not finite.
bool take_window(const float* bias, const float* didv, int n, double window, fit_impl& m) {
    m.bias.clear();
    m.didv.clear();
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(bias[i])) return false;
        // In float, so that a window given as the sweep's end keeps the end.
        if (window > 0 && !(std::fabs(bias[i]) <= static_cast<float>(window))) continue;
        if (!std::isfinite(didv[i])) return false;
        m.bias.push_back(bias[i]);
        m.didv.push_back(didv[i]);
    }
    return true;
}

void set_log(parameter* q, bool free, double value, double lo, double hi) {
    q->free = free;
    q->how = mapping::log_bounded;
    q->lo = std::log(lo);
    q->hi = std::log(hi);
    q->value = free ? std::clamp(value, lo, hi) : value;
}

// The coarse grid around the curve's two readings (gap_fit.h): gaps in meV,
// offsets in the bias unit.
coarse_grid start_grid(const gap_fit_settings& s, const start_guess& g, double gap,
                       double gamma, double gap_hi, double gamma_hi, double reach) {
    const bool sis = s.model == gap_model::dynes_sis;
    const auto sample = [&](double sum) {  // dynes_sis: the tip's share off
        if (!sis) return sum;
        return sum - s.tip_gap > 0.2 * sum ? sum - s.tip_gap : 0.5 * sum;
    };
    const auto clamp_gap = [&](double v) { return std::clamp(v, s.gap_min, gap_hi); };
    coarse_grid grid;
    grid.gamma_lo = 2 * s.gamma_min;
    grid.gamma_hi = 0.5 * gamma_hi;
    grid.gaps = {clamp_gap(gap)};
    if (g.dip_half_width > 0) grid.gaps.push_back(clamp_gap(sample(g.dip_half_width * s.bias_to_meV)));
    grid.gamma_fractions = {gamma / gap};
    if (!sis) {
        const double lo = std::max(s.gap_min, 0.02 * reach * s.bias_to_meV);
        const double hi = std::min(gap_hi, 0.6 * reach * s.bias_to_meV);
        for (int k = 0; k < 8 && hi > lo; ++k) grid.gaps.push_back(lo * std::pow(hi / lo, k / 7.0));
        for (double f : {0.02, 0.1, 0.4}) grid.gamma_fractions.push_back(f);
    }
    const auto clamp_offset = [&](double v) { return std::clamp(v, -reach / 4, reach / 4); };
    grid.offsets = {s.fit_offset ? clamp_offset(g.offset) : 0.0};
    if (s.fit_offset) {
        if (g.dip_half_width > 0) grid.offsets.push_back(clamp_offset(g.dip_centre));
        grid.offsets.push_back(0.0);
    }
    return grid;
}

// Parameters, bounds and start values; false when the bounds are empty.
bool set_parameters(const gap_fit_settings& s, const start_guess& g, fit_impl& m) {
    double reach = 0;
    for (double v : m.bias) reach = std::max(reach, std::fabs(v));
    const double gap_hi = s.gap_max > 0 ? s.gap_max : reach * s.bias_to_meV;
    const double gamma_hi = s.gamma_max > 0 ? s.gamma_max : gap_hi;
    if (!(gap_hi > s.gap_min) || !(gamma_hi > s.gamma_min)) return false;
    const bool sis = s.model == gap_model::dynes_sis;
    double gap = g.gap;
    if (sis) gap = g.gap - s.tip_gap > 0.2 * g.gap ? g.gap - s.tip_gap : 0.5 * g.gap;
    const double r = g.ratio;
    // Not below 5 % of the gap: a full gap (r -> 0) would start Gamma near
    // its bound, where steps in log Gamma are slow to leave, with (for
    // dynes_sis) the finest energy grid, and with peaks so sharp that a
    // coarse sweep steps over them (a superconducting tip's curve at 0.1 mV
    // steps stayed at a false minimum from 2 %).
    const double gamma = std::max({2 * s.gamma_min, 0.05 * gap, gap * r / std::sqrt(1 - r * r)});
    gap_curve start{s.model, std::clamp(gap, s.gap_min, gap_hi), std::min(gamma, 0.5 * gamma_hi),
                    s.temperature, sis ? s.tip_gap : 0.0, sis ? s.tip_gamma : 0.0, g.scale,
                    0.0, 0.0, s.modulation, s.bias_to_meV};
    coarse_start(start_grid(s, g, start.gap, start.gamma, gap_hi, gamma_hi, reach), m.bias.data(),
                 m.didv.data(), static_cast<int>(m.bias.size()), &start, m.scratch);
    // The dip's core, for the poor_fit test; without both crossings, the
    // peaks' reading.
    m.dip = g.dip_half_width > 0 ? dip_core{g.dip_centre, g.dip_half_width, g.scale}
                                 : dip_core{g.offset, 0.5 * g.gap / s.bias_to_meV, g.scale};
    set_log(&m.par[P_gap], true, start.gap, s.gap_min, gap_hi);
    set_log(&m.par[P_gamma], true, std::clamp(start.gamma, 2 * s.gamma_min, 0.5 * gamma_hi),
            s.gamma_min, gamma_hi);
    set_log(&m.par[P_temperature], s.fit_temperature, s.temperature, s.temperature_min,
            s.temperature_max);
    set_log(&m.par[P_tip_gap], sis && s.fit_tip_gap, s.tip_gap, s.gap_min, gap_hi);
    set_log(&m.par[P_tip_gamma], sis && s.fit_tip_gamma, s.tip_gamma, s.gamma_min, gamma_hi);
    m.par[P_scale] = parameter{true, mapping::open, 0, 0, start.scale};
    m.par[P_offset] = parameter{s.fit_offset, mapping::bounded, -reach / 2, reach / 2,
                                s.fit_offset ? start.offset : 0.0};
    m.par[P_background] = parameter{s.fit_background, mapping::open, 0, 0, 0};
    m.free_count = 0;
    for (int k = 0; k < slot_count; ++k)
        if (m.par[k].free) m.free_slot[m.free_count++] = k;
    m.curve = gap_curve{};
    m.curve.model = s.model;
    m.curve.modulation = s.modulation;
    m.curve.bias_to_meV = s.bias_to_meV;
    return true;
}

int residuals(const gsl_vector* u, void* data, gsl_vector* f) {
    fit_impl& m = *static_cast<fit_impl*>(data);
    ++m.evaluations;
    m.apply(u);
    const int n = static_cast<int>(m.bias.size());
    if (!model_curve(m.curve, m.bias.data(), n, m.model.data(), m.scratch)) return GSL_EDOM;
    for (size_t i = 0; i < m.bias.size(); ++i) {
        const double r = m.model[i] - m.didv[i];
        if (!std::isfinite(r)) return GSL_EDOM;
        gsl_vector_set(f, i, r);
    }
    return GSL_SUCCESS;
}

// GSL's workspace for n points and p parameters, kept while they repeat.
bool ready_solver(fit_impl& m, size_t n, size_t p) {
    if (m.solver && m.solver_n == n && m.solver_p == p) return true;
    m.release();
    gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
    params.trs = gsl_multifit_nlinear_trs_lmaccel;
    m.solver = gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, n, p);
    m.weights = gsl_vector_alloc(n);
    m.start = gsl_vector_alloc(p);
    m.covariance = gsl_matrix_alloc(p, p);
    m.solver_n = n;
    m.solver_p = p;
    return m.solver && m.weights && m.start && m.covariance;
}

double sum_of_squares(const gsl_multifit_nlinear_workspace* solver) {
    double chi2 = 0;
    gsl_blas_ddot(gsl_multifit_nlinear_residual(solver), gsl_multifit_nlinear_residual(solver),
                  &chi2);
    return chi2;
}

// GSL's driver loop (gsl_multifit_nlinear_driver, xtol = gtol = 1e-10)
// with one more way to end: chi^2 stalled, lowered over the last
// stall_span steps by less than stall_fraction of the reduced chi^2 (one
// point's share: with weights 1/sigma^2, 1e-4 of one unit of chi^2, which
// moves no parameter by a hundredth of its standard error).  A fit whose
// Gamma_s sits at its lower bound (a sharp-edged curve through a
// superconducting tip, wanting Gamma below any the data resolve) otherwise
// creeps along the flat valley until the iteration limit, each step on the
// finest energy grid: the real Pb line, 200 steps and a minute a pixel,
// chi^2 lower by 1e-7 of itself over the last 170.  A stall is a solution.
int run_solver(gsl_multifit_nlinear_workspace* solver, int max_iterations) {
    constexpr int stall_span = 10;
    constexpr double stall_fraction = 1e-4;
    const gsl_vector* u = gsl_multifit_nlinear_position(solver);
    const double dof = static_cast<double>(gsl_multifit_nlinear_residual(solver)->size - u->size);
    double history[stall_span + 1];
    history[0] = sum_of_squares(solver);
    int info = 0, status = GSL_CONTINUE;
    for (int iter = 0; iter < max_iterations;) {
        status = gsl_multifit_nlinear_iterate(solver);
        // No step lowered chi^2 at the start: more steps will not either.
        if (status == GSL_ENOPROG && iter == 0) return GSL_EMAXITER;
        ++iter;
        status = gsl_multifit_nlinear_test(1e-10, 1e-10, 0.0, &info, solver);
        if (status != GSL_CONTINUE) break;
        const double chi2 = sum_of_squares(solver);
        if (iter >= stall_span &&
            history[(iter - stall_span) % (stall_span + 1)] - chi2 <= stall_fraction * chi2 / dof)
            return GSL_SUCCESS;
        history[iter % (stall_span + 1)] = chi2;
    }
    if (status == GSL_ETOLF || status == GSL_ETOLX || status == GSL_ETOLG) return GSL_SUCCESS;
    return status == GSL_SUCCESS ? GSL_SUCCESS : GSL_EMAXITER;
}

gap_fit_result empty_result(gap_fit_status status, int points) {
    gap_fit_result r;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    r.status = status;
    r.gap = r.gamma = r.temperature = r.tip_gap = r.tip_gamma = nan;
    r.scale = r.offset = r.background = nan;
    r.se_gap = r.se_gamma = r.se_temperature = r.se_tip_gap = r.se_tip_gamma = nan;
    r.se_scale = r.se_offset = r.se_background = nan;
    r.chi2 = nan;
    r.iterations = 0;
    r.evaluations = 0;
    r.points = points;
    return r;
}

// Values, standard errors and the bound test at the solver's solution.
gap_fit_result read_solution(fit_impl& m, int iterations) {
    const size_t n = m.bias.size(), p = static_cast<size_t>(m.free_count);
    gap_fit_result r = empty_result(gap_fit_status::converged, static_cast<int>(n));
    const gsl_vector* u = gsl_multifit_nlinear_position(m.solver);
    const gsl_vector* f = gsl_multifit_nlinear_residual(m.solver);
    double chi2 = 0;
    gsl_blas_ddot(f, f, &chi2);
    const double reduced = chi2 / static_cast<double>(n - p);
    gsl_multifit_nlinear_covar(gsl_multifit_nlinear_jac(m.solver), 0.0, m.covariance);
    m.apply(u);
    double value[slot_count] = {m.curve.gap, m.curve.gamma, m.curve.temperature, m.curve.tip_gap,
                                m.curve.tip_gamma, m.curve.scale, m.curve.offset,
                                m.curve.background};
    double error[slot_count] = {};
    bool bound = false;
    for (size_t j = 0; j < p; ++j) {
        const parameter& q = m.par[m.free_slot[j]];
        const double uj = gsl_vector_get(u, j);
        error[m.free_slot[j]] =
            std::fabs(slope(q, uj)) * std::sqrt(gsl_matrix_get(m.covariance, j, j) * reduced);
        bound = bound || near_bound(q, uj);
    }
    float* out[slot_count] = {&r.gap, &r.gamma, &r.temperature, &r.tip_gap, &r.tip_gamma,
                              &r.scale, &r.offset, &r.background};
    float* se[slot_count] = {&r.se_gap, &r.se_gamma, &r.se_temperature, &r.se_tip_gap,
                             &r.se_tip_gamma, &r.se_scale, &r.se_offset, &r.se_background};
    const bool sis = m.curve.model == gap_model::dynes_sis;
    for (int k = 0; k < slot_count; ++k) {
        if (!sis && (k == P_tip_gap || k == P_tip_gamma)) continue;  // no tip gap: NaN
        *out[k] = static_cast<float>(value[k]);
        *se[k] = static_cast<float>(error[k]);
    }
    r.chi2 = static_cast<float>(reduced);
    r.iterations = iterations;
    r.evaluations = m.evaluations;
    if (bound) r.status = gap_fit_status::at_bound;
    // The curve at the solution (the last evaluation may have been a trial).
    const bool curve = model_curve(m.curve, m.bias.data(), static_cast<int>(n), m.model.data(),
                                   m.scratch);
    if (curve && !follows_dip(m.bias.data(), m.didv.data(), m.model.data(), static_cast<int>(n),
                              m.dip))
        r.status = gap_fit_status::poor_fit;
    // Broadened past the gap: the curve has no coherence peaks, a smeared
    // dip whose Delta and Gamma trade for each other, and the minimum is
    // that of a background.  The 0.4 K Pb spectrum over +-10 mV with V_0
    // held fits Delta 3.8 meV, Gamma 4.6 meV to the curve's wide V-shaped
    // background (lower chi^2 than its narrow gap, 0.28 meV with V_0 free).
    if (!(m.curve.gamma < m.curve.gap)) r.status = gap_fit_status::poor_fit;
    if (!std::isfinite(reduced)) r.status = gap_fit_status::not_converged;
    return r;
}

}  // namespace

namespace {

// Everything before the solver: checks, the window, start values.  The
// status is converged when the fit can go on.
gap_fit_status prepare(const float* bias, const float* didv, int n, const gap_fit_settings& s,
                       gap_fit_workspace* w) {
    if (!bias || !didv || !w || n < 0 || !settings_valid(s)) return gap_fit_status::bad_input;
    fit_impl& m = w->get();
    if (!take_window(bias, didv, n, s.window, m)) return gap_fit_status::bad_input;
    const int points = static_cast<int>(m.bias.size());
    const int free = 3 + (s.fit_temperature ? 1 : 0) + (s.fit_offset ? 1 : 0) +
                     (s.fit_background ? 1 : 0) +
                     (s.model == gap_model::dynes_sis ? (s.fit_tip_gap ? 1 : 0) + (s.fit_tip_gamma ? 1 : 0) : 0);
    if (points <= free) return gap_fit_status::too_few_points;
    start_guess g;
    if (!start_values(m.bias.data(), m.didv.data(), points, s.bias_to_meV, &g) ||
        !set_parameters(s, g, m))
        return gap_fit_status::no_gap;
    return gap_fit_status::converged;
}

}  // namespace

gap_fit_result gap_fit_start(const float* bias, const float* didv, int n,
                             const gap_fit_settings& s, gap_fit_workspace* w) {
    const gap_fit_status status = prepare(bias, didv, n, s, w);
    const int points = status == gap_fit_status::bad_input ? 0 : static_cast<int>(w->get().bias.size());
    gap_fit_result r = empty_result(status, points);
    if (status != gap_fit_status::converged) return r;
    const parameter* par = w->get().par;
    float* out[slot_count] = {&r.gap, &r.gamma, &r.temperature, &r.tip_gap, &r.tip_gamma,
                              &r.scale, &r.offset, &r.background};
    for (int k = 0; k < slot_count; ++k) *out[k] = static_cast<float>(par[k].value);
    return r;
}

gap_fit_result fit_gap(const float* bias, const float* didv, int n, const gap_fit_settings& s,
                       gap_fit_workspace* w) {
    const gap_fit_status ready = prepare(bias, didv, n, s, w);
    if (ready == gap_fit_status::bad_input) return empty_result(ready, 0);
    fit_impl& m = w->get();
    const int points = static_cast<int>(m.bias.size());
    if (ready != gap_fit_status::converged) return empty_result(ready, points);
    const size_t np = static_cast<size_t>(points), p = static_cast<size_t>(m.free_count);
    m.model.resize(np);
    if (!ready_solver(m, np, p)) return empty_result(gap_fit_status::not_converged, points);
    gsl_vector_set_all(m.weights, s.noise > 0 ? 1 / (s.noise * s.noise) : 1.0);
    for (size_t j = 0; j < p; ++j) {
        const parameter& q = m.par[m.free_slot[j]];
        gsl_vector_set(m.start, j, to_solver(q, q.value));
    }
    gsl_multifit_nlinear_fdf fdf;
    fdf.f = residuals;
    fdf.df = nullptr;   // forward differences
    fdf.fvv = nullptr;  // the geodesic term by finite differences
    fdf.n = np;
    fdf.p = p;
    fdf.params = &m;
    m.evaluations = 0;
    if (gsl_multifit_nlinear_winit(m.start, m.weights, &fdf, m.solver) != GSL_SUCCESS)
        return empty_result(gap_fit_status::not_converged, points);
    const int status = run_solver(m.solver, s.max_iterations);
    const int iterations = static_cast<int>(gsl_multifit_nlinear_niter(m.solver));
    if (status != GSL_SUCCESS) {
        gap_fit_result r = empty_result(gap_fit_status::not_converged, points);
        r.iterations = iterations;
        r.evaluations = m.evaluations;
        return r;
    }
    return read_solution(m, iterations);
}

}  // namespace sts
