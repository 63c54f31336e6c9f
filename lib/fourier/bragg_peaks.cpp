#include "fourier/bragg_peaks.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sts {

namespace {

struct frame {
    const q_map& map;
    long cx, cy;
    double dqx, dqy, ring_step;
    std::vector<double> ring_median;

    explicit frame(const q_map& m)
        : map(m), cx(static_cast<long>(m.nx / 2)), cy(static_cast<long>(m.ny / 2)),
          dqx(m.dqx()), dqy(m.dqy()) {
        if (dqx <= 0) dqx = dqy;
        if (dqy <= 0) dqy = dqx;
        // The coarser step: ring numbers stay below the map's own size
        // however unequal the two steps are.
        ring_step = std::max(dqx, dqy);
    }
    double value(long x, long y) const {
        return map.values[static_cast<size_t>(y) * map.nx + static_cast<size_t>(x)];
    }
    bool inside(long x, long y) const {
        return x >= 0 && y >= 0 && x < static_cast<long>(map.nx) && y < static_cast<long>(map.ny);
    }
    double qx(double x) const { return (x - static_cast<double>(cx)) * dqx; }
    double qy(double y) const { return (y - static_cast<double>(cy)) * dqy; }
    size_t ring(long x, long y) const {
        return static_cast<size_t>(std::lround(std::hypot(qx(x), qy(y)) / ring_step));
    }
};

void ring_medians(frame& f) {
    std::vector<std::vector<double>> rings;
    for (long y = 0; y < static_cast<long>(f.map.ny); ++y)
        for (long x = 0; x < static_cast<long>(f.map.nx); ++x) {
            const double v = f.value(x, y);
            if (!std::isfinite(v)) continue;
            const size_t r = f.ring(x, y);
            if (r >= rings.size()) rings.resize(r + 1);
            rings[r].push_back(v);
        }
    f.ring_median.assign(rings.size(), 0.0);
    for (size_t r = 0; r < rings.size(); ++r) {
        auto& v = rings[r];
        if (v.empty()) continue;
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        f.ring_median[r] = v[v.size() / 2];
    }
}

// The median of the values along the axis line through (x, y), within 6
// pixels either side of it, (dx, dy) the line's step.
double line_median(const frame& f, long x, long y, long dx, long dy) {
    std::vector<double> v;
    for (long k = -6; k <= 6; ++k)
        if (k != 0 && f.inside(x + k * dx, y + k * dy) && std::isfinite(f.value(x + k * dx, y + k * dy)))
            v.push_back(f.value(x + k * dx, y + k * dy));
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// The background a peak stands out from: its ring's median; on the axes
// (and the columns the window spreads them over) the axis line's own
// median where that is higher, since scan-line noise, offsets from line to
// line, lies along qx = 0 (and a fast-scan artefact along qy = 0).
double background_at(const frame& f, long x, long y) {
    const size_t r = f.ring(x, y);
    double b = r < f.ring_median.size() ? f.ring_median[r] : 0.0;
    if (std::labs(x - f.cx) <= 1) b = std::max(b, line_median(f, x, y, 0, 1));
    if (std::labs(y - f.cy) <= 1) b = std::max(b, line_median(f, x, y, 1, 0));
    return b;
}

double contrast_at(const frame& f, long x, long y) {
    const double m = background_at(f, x, y);
    return m > 0 ? f.value(x, y) / m : f.value(x, y) > 0 ? 1e300 : 0.0;
}

// The offset of a peak's top from its middle sample, below half a pixel.
double vertex(double left, double mid, double right) {
    if (left > 0 && mid > 0 && right > 0) {
        left = std::log(left);
        mid = std::log(mid);
        right = std::log(right);
    }
    const double curvature = left - 2 * mid + right;
    if (!(curvature < 0)) return 0.0;
    return std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5);
}

struct candidate {
    bragg_vector q;
    double contrast;
};

bool is_local_maximum(const frame& f, long x, long y) {
    const double v = f.value(x, y);
    if (!std::isfinite(v)) return false;
    for (long j = -1; j <= 1; ++j)
        for (long i = -1; i <= 1; ++i) {
            if ((i == 0 && j == 0) || !f.inside(x + i, y + j)) continue;
            const double w = f.value(x + i, y + j);
            // Strictly above the earlier neighbours, at least the later ones:
            // one pixel of a flat top.
            if (w > v || (w == v && (j < 0 || (j == 0 && i < 0)))) return false;
        }
    return true;
}

bragg_vector refined(const frame& f, long x, long y) {
    const double v = f.value(x, y);
    const double ox = f.inside(x - 1, y) && f.inside(x + 1, y)
                          ? vertex(f.value(x - 1, y), v, f.value(x + 1, y)) : 0.0;
    const double oy = f.inside(x, y - 1) && f.inside(x, y + 1)
                          ? vertex(f.value(x, y - 1), v, f.value(x, y + 1)) : 0.0;
    return {f.qx(static_cast<double>(x) + ox), f.qy(static_cast<double>(y) + oy)};
}

// The strongest local maxima in the upper half plane (a real map's
// transform is symmetric under q -> -q) within [q_min, q_max].
std::vector<candidate> strongest(const frame& f, double q_min, double q_max, size_t count) {
    std::vector<candidate> found;
    for (long y = f.cy; y < static_cast<long>(f.map.ny); ++y)
        for (long x = 0; x < static_cast<long>(f.map.nx); ++x) {
            if (y == f.cy && x <= f.cx) continue;
            const double q = std::hypot(f.qx(x), f.qy(y));
            if (q < q_min || q > q_max || !is_local_maximum(f, x, y)) continue;
            found.push_back({refined(f, x, y), contrast_at(f, x, y)});
        }
    std::stable_sort(found.begin(), found.end(),
                     [](const candidate& a, const candidate& b) { return a.contrast > b.contrast; });
    if (found.size() > count) found.resize(count);
    // Peaks far weaker than the strongest are noise the lattice need not index.
    if (!found.empty())
        std::erase_if(found, [&](const candidate& c) { return c.contrast < 0.05 * found[0].contrast; });
    return found;
}

struct basis_fit {
    bragg_vector b1, b2;
    size_t indexed = 0;
    double score = 0;
    double area = 0;
};

// The peaks that (b1, b2) indexes: integer combinations (not both zero,
// each at most 8) within tolerance; their contrasts summed into
// contrast_sum and their reach (largest |q|) into reach.
size_t index_peaks(const std::vector<candidate>& peaks, bragg_vector b1, bragg_vector b2,
                   double tolerance, std::vector<std::pair<double, double>>* indices,
                   double* contrast_sum = nullptr, double* reach = nullptr) {
    const double det = b1.qx * b2.qy - b1.qy * b2.qx;
    size_t count = 0;
    for (const candidate& p : peaks) {
        const double n1 = std::round((p.q.qx * b2.qy - p.q.qy * b2.qx) / det);
        const double n2 = std::round((b1.qx * p.q.qy - b1.qy * p.q.qx) / det);
        if ((n1 == 0 && n2 == 0) || std::fabs(n1) > 8 || std::fabs(n2) > 8) continue;
        const double ex = p.q.qx - n1 * b1.qx - n2 * b2.qx, ey = p.q.qy - n1 * b1.qy - n2 * b2.qy;
        if (std::hypot(ex, ey) > tolerance) continue;
        ++count;
        if (indices) indices->push_back({n1, n2});
        if (contrast_sum) *contrast_sum += p.contrast;
        if (reach) *reach = std::max(*reach, std::hypot(p.q.qx, p.q.qy));
    }
    return count;
}

// Where peaks were sought: |q| in [low, high], inside the map, the upper
// half plane.
struct search_range {
    double low, high, qx_max, qy_max;
    bool contains(double qx, double qy) const {
        const double q = std::hypot(qx, qy);
        return q >= low && q <= high && std::fabs(qx) <= qx_max && std::fabs(qy) <= qy_max &&
               (qy > 0 || (qy == 0 && qx > 0));
    }
};

// How many points of the lattice lie within reach in the searched range:
// a lattice finer than the peaks' own predicts many that are not there.
size_t predicted_points(bragg_vector b1, bragg_vector b2, double reach, const search_range& range) {
    const double area = std::fabs(b1.qx * b2.qy - b1.qy * b2.qx);
    // |n1| <= reach |b2| / area (the distance between the lattice's rows).
    const long m1 = static_cast<long>(std::fmin(8, std::ceil(reach * std::hypot(b2.qx, b2.qy) / area)));
    const long m2 = static_cast<long>(std::fmin(8, std::ceil(reach * std::hypot(b1.qx, b1.qy) / area)));
    size_t count = 0;
    for (long n1 = -m1; n1 <= m1; ++n1)
        for (long n2 = -m2; n2 <= m2; ++n2) {
            const double qx = n1 * b1.qx + n2 * b2.qx, qy = n1 * b1.qy + n2 * b2.qy;
            if (std::hypot(qx, qy) <= reach && range.contains(qx, qy)) ++count;
        }
    return count;
}

// Of the bases made of the peaks and their differences, the one whose
// indexed peaks' contrast, times the share of its predicted points that
// are peaks (a half or more counting as all), is largest (ties: the
// coarsest).
basis_fit best_basis(const std::vector<candidate>& peaks, double shortest, double tolerance,
                     const search_range& range) {
    std::vector<bragg_vector> vectors;
    for (size_t i = 0; i < peaks.size(); ++i) {
        vectors.push_back(peaks[i].q);
        for (size_t j = 0; j < i; ++j)
            vectors.push_back({peaks[i].q.qx - peaks[j].q.qx, peaks[i].q.qy - peaks[j].q.qy});
    }
    std::erase_if(vectors, [&](bragg_vector v) { return std::hypot(v.qx, v.qy) < shortest; });
    basis_fit best;
    for (size_t i = 0; i < vectors.size(); ++i)
        for (size_t j = 0; j < i; ++j) {
            const bragg_vector b1 = vectors[i], b2 = vectors[j];
            const double area = std::fabs(b1.qx * b2.qy - b1.qy * b2.qx);
            // Independent: at least 15 degrees apart.
            if (area < 0.25 * std::hypot(b1.qx, b1.qy) * std::hypot(b2.qx, b2.qy)) continue;
            double contrast = 0, reach = 0;
            const size_t n = index_peaks(peaks, b1, b2, tolerance, nullptr, &contrast, &reach);
            if (n < 2) continue;
            const size_t predicted = predicted_points(b1, b2, reach + tolerance, range);
            // Half its points found counts as whole: weak high orders may be
            // missing from a real lattice.
            const double score = contrast * std::fmin(1.0, 2.0 * static_cast<double>(n) /
                                                               static_cast<double>(std::max<size_t>(predicted, 1)));
            if (score > best.score * (1 + 1e-9) ||
                (score >= best.score * (1 - 1e-9) && area > best.area * (1 + 1e-6)))
                best = {b1, b2, n, score, area};
        }
    return best;
}

// Least squares over the indexed peaks: q_k = n1_k b1 + n2_k b2.
void fit_basis(const std::vector<candidate>& peaks, basis_fit& fit, double tolerance) {
    double s11 = 0, s12 = 0, s22 = 0, r1x = 0, r1y = 0, r2x = 0, r2y = 0;
    size_t k = 0;
    for (const candidate& p : peaks) {
        std::vector<std::pair<double, double>> one;
        if (index_peaks({p}, fit.b1, fit.b2, tolerance, &one) == 0) continue;
        const auto [a, b] = one[0];
        s11 += a * a, s12 += a * b, s22 += b * b;
        r1x += a * p.q.qx, r1y += a * p.q.qy, r2x += b * p.q.qx, r2y += b * p.q.qy;
        ++k;
    }
    const double det = s11 * s22 - s12 * s12;
    if (k < 2 || !(std::fabs(det) > 1e-9)) return;
    fit.b1 = {(s22 * r1x - s12 * r2x) / det, (s22 * r1y - s12 * r2y) / det};
    fit.b2 = {(s11 * r2x - s12 * r1x) / det, (s11 * r2y - s12 * r1y) / det};
}

}  // namespace

bragg_peak measure_bragg_peak(const q_map& map, bragg_vector q) {
    frame f(map);
    ring_medians(f);
    bragg_peak p;
    p.q = q;
    long x = f.cx + std::lround(q.qx / f.dqx), y = f.cy + std::lround(q.qy / f.dqy);
    long bx = x, by = y;
    for (long j = -1; j <= 1; ++j)
        for (long i = -1; i <= 1; ++i)
            if (f.inside(x + i, y + j) &&
                (!f.inside(bx, by) || f.value(x + i, y + j) > f.value(bx, by)))
                bx = x + i, by = y + j;
    if (!f.inside(bx, by)) return p;
    p.height = f.value(bx, by);
    p.contrast = contrast_at(f, bx, by);
    const double background = background_at(f, bx, by);
    double sum = 0, moment = 0;
    for (long j = -3; j <= 3; ++j)
        for (long i = -3; i <= 3; ++i) {
            if (i * i + j * j > 9 || !f.inside(bx + i, by + j)) continue;
            const double w = f.value(bx + i, by + j) - background;
            if (!(w > 0)) continue;
            sum += w;
            moment += w * (std::pow(i * f.dqx, 2) + std::pow(j * f.dqy, 2));
        }
    p.width = sum > 0 ? std::sqrt(moment / sum) : 0.0;
    return p;
}

bragg_peak refine_peak(const q_map& map, bragg_vector guess, int radius) {
    bragg_peak p;
    p.q = guess;
    if (map.nx < 3 || map.ny < 3 || map.values.size() != map.nx * map.ny) return p;
    frame f(map);
    if (!(f.dqx > 0 && f.dqy > 0) || !std::isfinite(guess.qx) || !std::isfinite(guess.qy)) return p;
    ring_medians(f);
    const double gx = std::clamp(guess.qx / f.dqx, -1e9, 1e9), gy = std::clamp(guess.qy / f.dqy, -1e9, 1e9);
    const long x = f.cx + std::lround(gx), y = f.cy + std::lround(gy);
    radius = std::clamp(radius, 0, 64);
    long bx = -1, by = -1;
    for (long j = -radius; j <= radius; ++j)
        for (long i = -radius; i <= radius; ++i)
            if (f.inside(x + i, y + j) && std::isfinite(f.value(x + i, y + j)) &&
                (bx < 0 || contrast_at(f, x + i, y + j) > contrast_at(f, bx, by)))
                bx = x + i, by = y + j;
    if (bx < 0) return p;
    p = measure_bragg_peak(map, {f.qx(static_cast<double>(bx)), f.qy(static_cast<double>(by))});
    p.q = refined(f, bx, by);
    return p;
}

std::string find_bragg_peaks(const q_map& map, const bragg_options& options, bragg_pair& out) {
    if (map.nx < 3 || map.ny < 3 || map.values.size() != map.nx * map.ny ||
        map.qx.size() != map.nx || map.qy.size() != map.ny)
        return "the map is too small, or its axes do not fit it";
    frame f(map);
    if (!(f.dqx > 0 && f.dqy > 0 && std::isfinite(f.dqx) && std::isfinite(f.dqy)))
        return "the map's q axes do not increase";
    ring_medians(f);
    const double pixel = std::max(f.dqx, f.dqy);
    const double q_min = options.q_min > 0 ? options.q_min : 3 * pixel;
    const double q_max = options.q_max > 0 ? options.q_max : 1e300;
    const auto peaks = strongest(f, q_min, q_max, std::clamp<size_t>(options.candidates, 2, 40));
    if (peaks.size() < 2) return "fewer than two peaks stand out in the q range searched";
    const double tolerance = 0.75 * pixel;
    const search_range range{q_min, q_max, std::fabs(map.qx.front()), std::fabs(map.qy.front())};
    basis_fit fit = best_basis(peaks, std::max(q_min, 2 * pixel), tolerance, range);
    if (fit.indexed < 2) return "no lattice indexes two of the strongest peaks";
    fit_basis(peaks, fit, tolerance);
    reduce_bragg(fit.b1, fit.b2);
    out.first = measure_bragg_peak(map, fit.b1);
    out.second = measure_bragg_peak(map, fit.b2);
    out.first.q = fit.b1;
    out.second.q = fit.b2;
    out.indexed = fit.indexed;
    return "";
}

}  // namespace sts
