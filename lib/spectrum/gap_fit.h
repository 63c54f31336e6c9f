// Fitting a superconducting gap to one conductance curve.
//
// Models (dynes.h, dynes_sis.h), with omega = (V - V_0) * bias_to_meV:
//   dynes:      G(V) = G_N * rho_s * (-f')        (normal tip)
//   dynes_sis:  G(V) = G_N * d/dV [rho_t, rho_s]  (superconducting tip)
// then, optionally, the lock-in's semicircle broadening of amplitude V_m
// (modulation.h) and a linear background: G(V) += b V.
//
// The fit is GSL's gsl_multifit_nlinear: a C library packaged in Debian,
// small, with Levenberg-Marquardt in a trust region with geodesic
// acceleration (which keeps the narrow coherence peaks from throwing the
// steps about) and the covariance at the solution; Ceres would bring a
// larger C++ dependency (Eigen, glog) for none of that we need.
// Bounds: Delta, Gamma, T, Delta_t, Gamma_t are positive and bounded through
// a logistic function of log(p) between the bounds below, V_0 the same on
// a linear scale; G_N and b are free.  A parameter that ends within 0.1 %
// (in log) of a bound gives the status at_bound.
// Start values come from the curve, smoothed over 1/40 of the window: V_0
// and Delta from the largest values on either side of the curve's minimum
// (the coherence peaks; for dynes_sis Delta_s = peak - Delta_t), and again
// from the dip's half-depth crossings (for peaks lost in noise), G_N from
// the mean conductance over the outer fifth of the window, Gamma from the
// zero-bias ratio G(0)/G_N = Gamma / sqrt(Gamma^2 + Delta^2).  For dynes
// these readings join a coarse grid (Delta over 2 % .. 60 % of the window,
// Gamma/Delta 0.02, 0.1, 0.4, V_0 from both readings and 0 when it is
// free), each candidate with its least-squares G_N, and the fit starts
// from the candidate of least chi^2 (for dynes_sis only the two readings
// are compared: its model costs more).  Weights 1/sigma^2 when the noise
// sigma is given.  A converged fit whose curve misses the data's dip (the
// mean residual over the dip's core above a quarter of G_N and three of its
// standard errors) is poor_fit: on the real Pb line with V_0 held at 0 the
// best Dynes curve (found alike by SciPy from a grid of starts) dips to 60 %
// of G_N where the data fall to 0.  So is a fit with Gamma >= Delta: a
// curve with no coherence peaks, whose least chi^2 is often a background's
// (the 0.4 K Pb spectrum over +-10 mV, V_0 held: Delta 3.8 meV).
// The solver ends at GSL's tolerances or when chi^2 stalls (lowered by
// less than 1e-4 of the reduced chi^2 over 10 steps): a parameter creeping
// to its bound would otherwise walk to the iteration limit.
// Standard errors: the square roots of the diagonal of (J^T W J)^-1 scaled
// by the reduced chi^2 (chi^2 / (points - free parameters)), carried
// through the transform to each parameter's own unit.
//
// Threads: everything a fit touches lives in its gap_fit_workspace, one per
// thread; there is no global state except GSL's error handler, which the
// first workspace turns off (once, thread-safely) so that GSL returns codes
// rather than aborting.  Nothing is printed.  Results are stored as float,
// computed in double.
#ifndef SPECTRUM_GAP_FIT_H
#define SPECTRUM_GAP_FIT_H

#include <memory>

namespace sts {

enum class gap_model : signed char { dynes = 0, dynes_sis = 1 };

// The numbers are those to be written to files (fit_status).
enum class gap_fit_status : signed char {
    converged = 0,       // the fit met its tolerances (or chi^2 stalled) inside the bounds
    at_bound = 1,        // converged, with a parameter at a bound (its error is not meaningful)
    no_gap = 2,          // the curve in the window does not look like a gap: not fitted
    too_few_points = 3,  // the window holds no more points than free parameters
    bad_input = 4,       // NaN or infinite values, T <= 0, settings out of range
    not_converged = 5,   // the iteration limit, or no step would lower chi^2
    not_computed = 6,    // no fit asked for (set by callers, never here)
    poor_fit = 7,        // converged, but the curve misses the data's dip, or Gamma >= Delta
                         // (values kept, suspect)
};
constexpr int gap_fit_status_count = 8;
// The statuses' names in order, space-separated (a flag_meanings attribute).
extern const char* const gap_fit_status_names;

struct gap_fit_settings {
    gap_model model = gap_model::dynes;
    double window = 0;          // |V| <= window is fitted (bias unit); 0: every point
    double bias_to_meV = 1000;  // meV per bias unit: 1000 for V, 1 for mV
    double temperature = 1;     // K: the value, or the start when fit_temperature
    bool fit_temperature = false;
    double tip_gap = 1.3;       // meV, dynes_sis: the value or the start
    bool fit_tip_gap = false;
    double tip_gamma = 0.01;    // meV, dynes_sis
    bool fit_tip_gamma = false;
    double modulation = 0;      // lock-in amplitude, zero to peak (bias unit); 0: none
    bool fit_offset = false;    // V_0, bias unit
    bool fit_background = false;  // b, conductance per bias unit
    double noise = 0;           // sigma of dI/dV (its unit); 0: unknown, equal weights
    int max_iterations = 200;
    // Bounds (meV, K); a gap bound of 0 is the window's half-width in meV.
    double gap_min = 1e-3, gap_max = 0;
    double gamma_min = 1e-4, gamma_max = 0;   // 0: the gap bound
    double temperature_min = 0.05, temperature_max = 100;
};

struct gap_fit_result {
    gap_fit_status status = gap_fit_status::not_computed;
    // Fitted or fixed values (NaN unless the status is converged or at_bound):
    float gap, gamma, temperature, tip_gap, tip_gamma;  // meV, meV, K, meV, meV
    float scale, offset, background;  // G_N (dI/dV unit), V_0 (bias unit), b
    // Standard errors (0 for a fixed parameter):
    float se_gap, se_gamma, se_temperature, se_tip_gap, se_tip_gamma;
    float se_scale, se_offset, se_background;
    float chi2;      // reduced chi^2 (weighted when the noise is given)
    int iterations;   // of the trust-region solver
    int evaluations;  // of the model curve (steps tried, Jacobians, geodesic terms)
    int points;      // in the window
};

// All a fit's scratch (GSL's workspace, model buffers); one per thread.
class gap_fit_workspace {
public:
    gap_fit_workspace();
    ~gap_fit_workspace();
    gap_fit_workspace(const gap_fit_workspace&) = delete;
    gap_fit_workspace& operator=(const gap_fit_workspace&) = delete;
    struct impl;
    impl& get() { return *impl_; }

private:
    std::unique_ptr<impl> impl_;
};

// Fits the curve didv[0 .. n) over bias[0 .. n) (any order).
gap_fit_result fit_gap(const float* bias, const float* didv, int n, const gap_fit_settings& s,
                       gap_fit_workspace* w);

// The start values a fit of the curve would take (status converged when
// the fit would go on, else the status it would end with): for comparing
// other fitting programs from the same start.
gap_fit_result gap_fit_start(const float* bias, const float* didv, int n,
                             const gap_fit_settings& s, gap_fit_workspace* w);

// The model's parameters in double, for evaluating a curve.
struct gap_curve {
    gap_model model = gap_model::dynes;
    double gap = 0, gamma = 0, temperature = 0, tip_gap = 0, tip_gamma = 0;
    double scale = 1, offset = 0, background = 0;
    double modulation = 0, bias_to_meV = 1000;
};

// The model at bias[0 .. n) into out; false (and NaN) for parameters
// outside the model's domain.
bool evaluate_gap_curve(const gap_curve& c, const double* bias, int n, double* out,
                        gap_fit_workspace* w);

// The fitted curve at bias[0 .. n) into out (a fit_curve variable): NaN
// unless r's status is converged or at_bound.
void fitted_gap_curve(const gap_fit_settings& s, const gap_fit_result& r, const float* bias,
                      int n, float* out, gap_fit_workspace* w);

}  // namespace sts

#endif
