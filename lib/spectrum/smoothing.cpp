// Savitzky–Golay weights from an orthonormal polynomial basis of the window.
//
// The least-squares polynomial of degree q over m equally spaced points is
// the orthogonal projection of the samples onto the polynomials of degree
// <= q sampled there.  With the columns of Q (m x (q+1)) an orthonormal basis
// of that space, the fitted value at point i is sum_k Q[i][k] (Q[., k] . y),
// and the weights of an interior point are its row of Q Q^T.  Column k is
// t q_{k-1} (t the abscissae), orthogonalised twice against the columns
// before it (once leaves errors where the cancellation is severe) and
// normalised: far better conditioned than the normal equations of the
// monomials, whose condition grows like the window to the power 2q.
#include "spectrum/smoothing.h"

#include <algorithm>
#include <new>

namespace sts {

namespace {

// The orthonormal basis of the polynomials of degree <= order at m points,
// row-major in q (m rows of order + 1).  Needs order < m.  The abscissae are
// the integers 2i - (m - 1), symmetric about 0 and exact.
void make_basis(int m, int order, xf* q) {
    const int columns = order + 1;
    const xf first = xf(1) / xf_sqrt(xf(m));
    for (int i = 0; i < m; ++i) q[i * columns] = first;
    for (int k = 1; k <= order; ++k) {
        for (int i = 0; i < m; ++i) q[i * columns + k] = xf(2 * i - (m - 1)) * q[i * columns + k - 1];
        for (int pass = 0; pass < 2; ++pass) {
            for (int j = 0; j < k; ++j) {
                xf dot = 0;
                for (int i = 0; i < m; ++i) dot += q[i * columns + j] * q[i * columns + k];
                for (int i = 0; i < m; ++i) q[i * columns + k] -= dot * q[i * columns + j];
            }
        }
        xf norm = 0;
        for (int i = 0; i < m; ++i) norm += q[i * columns + k] * q[i * columns + k];
        norm = xf_sqrt(norm);
        for (int i = 0; i < m; ++i) q[i * columns + k] /= norm;
    }
}

// out[i] for i in [from, to) of the m samples y: the least-squares
// polynomial over all m at point i, from the basis q of order + 1 columns.
void fit_window(const xf* q, int m, int order, const float* y, float* out, int from, int to) {
    const int columns = order + 1;
    xf coefficient[MAX_SMOOTHING_ORDER + 1];
    for (int k = 0; k < columns; ++k) {
        xf dot = 0;
        for (int i = 0; i < m; ++i) dot += q[i * columns + k] * xf(y[i]);
        coefficient[k] = dot;
    }
    for (int i = from; i < to; ++i) {
        xf value = 0;
        for (int k = 0; k < columns; ++k) value += q[i * columns + k] * coefficient[k];
        out[i] = static_cast<float>(value);
    }
}

// out[i] for i in [from, to): the weights c over the window centred on i.
// Each sum runs over the window in order; four points at a time, since each
// sum is a chain of dependent additions and the unit can run four at once.
void centred(const xf* c, int window, const float* in, float* out, int from, int to) {
    const int half = window / 2;
    int i = from;
    for (; i + 4 <= to; i += 4) {
        const float* y = in + (i - half);
        xf v0 = 0, v1 = 0, v2 = 0, v3 = 0;
        for (int j = 0; j < window; ++j) {
            v0 += c[j] * xf(y[j]);
            v1 += c[j] * xf(y[j + 1]);
            v2 += c[j] * xf(y[j + 2]);
            v3 += c[j] * xf(y[j + 3]);
        }
        out[i] = static_cast<float>(v0);
        out[i + 1] = static_cast<float>(v1);
        out[i + 2] = static_cast<float>(v2);
        out[i + 3] = static_cast<float>(v3);
    }
    for (; i < to; ++i) {
        const float* y = in + (i - half);
        xf value = 0;
        for (int j = 0; j < window; ++j) value += c[j] * xf(y[j]);
        out[i] = static_cast<float>(value);
    }
}

}  // namespace

bool smoothing_parameters_valid(int window, int order) {
    return window >= 1 && window <= MAX_SMOOTHING_WINDOW && window % 2 == 1 && order >= 0 &&
           order <= MAX_SMOOTHING_ORDER && order < window;
}

bool make_smoothing_plan(int window, int order, smoothing_plan* p) {
    if (!smoothing_parameters_valid(window, order)) return false;
    const auto w = static_cast<size_t>(window);
    const auto columns = static_cast<size_t>(order + 1);
    try {
        p->basis.assign(w * columns, xf(0));
        p->centre.assign(w, xf(0));
    } catch (const std::bad_alloc&) {
        return false;
    }
    make_basis(window, order, p->basis.data());
    const xf* middle = &p->basis[(w / 2) * columns];
    for (size_t j = 0; j < w; ++j) {
        xf weight = 0;
        for (size_t k = 0; k < columns; ++k) weight += middle[k] * p->basis[j * columns + k];
        p->centre[j] = weight;
    }
    p->window = window;
    p->order = order;
    return true;
}

bool reserve_smoothing(const smoothing_plan& p, smoothing_workspace* w) {
    try {
        // A shorter series has fewer points and at most as many columns.
        w->basis.assign(p.basis.size(), xf(0));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void smooth_series(const smoothing_plan& p, const float* in, float* out, int n,
                   smoothing_workspace* w) {
    if (n <= 0) return;
    const int window = p.window, half = window / 2;
    if (n < window) {
        const int order = std::min(p.order, n - 1);
        make_basis(n, order, w->basis.data());
        fit_window(w->basis.data(), n, order, in, out, 0, n);
        return;
    }
    fit_window(p.basis.data(), window, p.order, in, out, 0, half);
    centred(p.centre.data(), window, in, out, half, n - half);
    fit_window(p.basis.data(), window, p.order, in + (n - window), out + (n - window),
               window - half, window);
}

}  // namespace sts
