// RHK .sm4 files: the bias spectroscopy of one channel, position by position.
#include "readers/rhk_sm4.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "readers/channel_selection.h"
#include "readers/column_name.h"
#include "readers/rhk_sm4_pages.h"
#include "readers/text_split.h"

namespace sts {

namespace {

constexpr uint32_t no_grid = 0xFFFFFFFF;  // the grid size of the real line file

// The decimal with the fewest digits that rounds to v: std::to_chars
// writes exactly that.
double shortest_decimal(float v) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, v);
    double d = 0;
    std::from_chars(text, written.ptr, d);
    return d;
}

bool is_channel(const sm4_page& p, const import_options& o) {
    return same_channel(p.label, o.channel) ||
           (same_channel(o.channel, "Current") && trim(p.label) == "I");
}

// "6 pages: 4 images, 2 I(z) spectra": what the pages are, in file order.
std::string page_summary(const std::vector<sm4_page>& pages) {
    std::vector<std::pair<std::string, size_t>> kinds;
    for (const auto& p : pages) {
        const std::string kind = sm4_page_kind(p);
        auto it = std::find_if(kinds.begin(), kinds.end(),
                               [&](const auto& k) { return k.first == kind; });
        if (it == kinds.end())
            kinds.emplace_back(kind, 1);
        else
            ++it->second;
    }
    std::string text = std::to_string(pages.size()) + (pages.size() == 1 ? " page" : " pages");
    for (size_t k = 0; k < kinds.size(); ++k) {
        std::string kind = kinds[k].first;
        const size_t blank = kind.find(' ');
        if (kinds[k].second > 1 && kind.rfind("I(", 0) != 0)
            kind.insert(std::min(blank, kind.size()), "s");
        text += (k == 0 ? ": " : ", ") + std::to_string(kinds[k].second) + " " + kind;
    }
    return text;
}

std::string labels_of(const std::vector<const sm4_page*>& pages) {
    std::string text;
    for (const auto* p : pages) text += (text.empty() ? "\"" : ", \"") + p->label + "\"";
    return text;
}

// The one spectral page of the channel.
bool choose_page(const std::vector<sm4_page>& pages, const import_options& o,
                 const sm4_page** chosen, std::string* error) {
    std::vector<const sm4_page*> spectral, matching;
    for (const auto& p : pages) {
        if (!is_bias_spectroscopy(p)) continue;
        spectral.push_back(&p);
        if (is_channel(p, o)) matching.push_back(&p);
    }
    if (spectral.empty()) {
        *error = "an RHK .sm4 file without spectral pages (" + page_summary(pages) + ")";
        return false;
    }
    if (matching.empty()) {
        *error = "no channel '" + o.channel + "' (the spectral pages are " + labels_of(spectral) +
                 "; choose one with -c)";
        return false;
    }
    if (matching.size() > 1) {
        *error = std::to_string(matching.size()) + " spectral pages are labelled \"" +
                 matching.front()->label + "\"; reading one of several is not supported";
        return false;
    }
    *chosen = matching.front();
    return true;
}

// The spectral page of the measured dI/dV channel ("LIA Current", or with
// its unit "LIA Current (A)"): one page of that label whose spectra are the
// current page's, sweep for sweep, on the same bias axis at the same
// positions, so that its values pair with the current's point by point.
// nullptr without o.signal_channel.
bool choose_signal_page(std::string_view bytes, const std::vector<sm4_page>& pages,
                        const sm4_page& current, const import_options& o,
                        const sm4_page** chosen, std::string* error) {
    *chosen = nullptr;
    if (o.signal_channel.empty()) return true;
    const column_name wanted = parse_column_name(o.signal_channel);
    std::vector<const sm4_page*> spectral, matching;
    for (const auto& p : pages) {
        if (!is_bias_spectroscopy(p)) continue;
        spectral.push_back(&p);
        if (same_channel(p.label, wanted.name) && (wanted.unit.empty() || p.z_unit == wanted.unit))
            matching.push_back(&p);
    }
    if (matching.size() != 1) {
        *error = matching.empty() ? "no channel '" + o.signal_channel + "' for dI/dV (the spectral pages are " +
                                        labels_of(spectral) + ")"
                                  : std::to_string(matching.size()) + " spectral pages are labelled \"" +
                                        matching.front()->label + "\"; reading one of several is not supported";
        return false;
    }
    const sm4_page& p = *matching.front();
    std::vector<float> x, y, cx, cy;
    if (!check_sm4_spectra(bytes, p, error)) return false;
    sm4_positions(bytes, p, &x, &y);
    sm4_positions(bytes, current, &cx, &cy);
    if (p.points != current.points || p.spectra != current.spectra || p.x_offset != current.x_offset ||
        p.x_scale != current.x_scale || x != cx || y != cy) {
        *error = "the page \"" + p.label + "\" for dI/dV does not share the bias axis and positions of \"" +
                 current.label + "\"";
        return false;
    }
    *chosen = &p;
    return true;
}

// Sweeps per position: the run of spectra recorded where the first one was,
// when every position has such a run; else each spectrum is a position.
size_t sweeps_per_position(const std::vector<float>& x, const std::vector<float>& y) {
    const size_t n = x.size();
    size_t run = 1;
    while (run < n && x[run] == x[0] && y[run] == y[0]) ++run;
    if (n == 0 || n % run != 0) return 1;
    for (size_t k = 0; k < n; ++k)
        if (x[k] != x[k - k % run] || y[k] != y[k - k % run]) return 1;
    return run;
}

// Whether the positions lie on the nx x ny raster that their first row and
// column span, each within a hundredth of a step; sets the steps.  The steps
// come from the whole row and column: float32 positions some 10 nm from the
// origin are good to 1e-6 nm, a step of 0.03 nm between neighbours to a few
// parts in 1e5 only.
bool evenly_spaced(sm4_spectra* s) {
    const size_t nx = static_cast<size_t>(s->nx), ny = static_cast<size_t>(s->ny);
    const std::vector<double>&x = s->x_nm, &y = s->y_nm;
    if (nx * ny < 2) return false;
    for (size_t k = 0; k < x.size(); ++k)
        if (!std::isfinite(x[k]) || !std::isfinite(y[k])) return false;
    const double row = static_cast<double>(nx - 1), column = static_cast<double>(ny - 1);
    const size_t last = (ny - 1) * nx;
    const double ux = nx > 1 ? (x[nx - 1] - x[0]) / row : 0,
                 uy = nx > 1 ? (y[nx - 1] - y[0]) / row : 0;
    const double vx = ny > 1 ? (x[last] - x[0]) / column : 0,
                 vy = ny > 1 ? (y[last] - y[0]) / column : 0;
    const double u = std::hypot(ux, uy), v = std::hypot(vx, vy);
    if ((nx > 1 && !(u > 0)) || (ny > 1 && !(v > 0))) return false;
    const double tolerance = 0.01 * (nx > 1 && ny > 1 ? std::min(u, v) : nx > 1 ? u : v);
    for (size_t j = 0; j < ny; ++j)
        for (size_t i = 0; i < nx; ++i) {
            const size_t k = j * nx + i;
            const double di = static_cast<double>(i), dj = static_cast<double>(j);
            if (!(std::hypot(x[k] - (x[0] + di * ux + dj * vx),
                             y[k] - (y[0] + di * uy + dj * vy)) <= tolerance))
                return false;
        }
    s->step_x = u;
    s->step_y = v;
    return true;
}

// The header's grid when the positions fill it evenly, else a line.
void lay_out(const sm4_page& p, size_t positions, sm4_spectra* s) {
    s->nx = static_cast<long>(positions);
    s->ny = 1;
    if (p.grid_x != no_grid && p.grid_y != no_grid && p.grid_x > 0 && p.grid_y > 1 &&
        uint64_t{p.grid_x} * p.grid_y == positions) {
        s->nx = p.grid_x;
        s->ny = p.grid_y;
        if (evenly_spaced(s)) {
            s->raster = true;
            return;
        }
        s->nx = static_cast<long>(positions);
        s->ny = 1;
    }
    s->raster = evenly_spaced(s);
}

// One column of the page's label per sweep ("[00001]", ... when there are
// several).
void append_columns(const sm4_page& p, size_t sweeps, std::vector<column_name>* columns) {
    for (size_t s = 1; s <= sweeps; ++s) {
        char tag[24];
        std::snprintf(tag, sizeof tag, "%05zu", s);
        columns->push_back({p.label,
                            sweeps > 1 ? std::vector<std::string>{tag} : std::vector<std::string>{},
                            p.z_unit});
    }
}

// A bias column named by the page's x label, then the page's columns.
std::vector<column_name> columns_of(const sm4_page& p, size_t sweeps) {
    std::vector<column_name> columns;
    columns.push_back({p.x_label.empty() ? std::string("Bias calc") : p.x_label, {}, p.x_unit});
    append_columns(p, sweeps, &columns);
    return columns;
}

void bias_axis(const sm4_page& p, std::vector<double>* bias) {
    const double start = shortest_decimal(p.x_offset), step = shortest_decimal(p.x_scale);
    bias->resize(p.points);
    for (uint64_t k = 0; k < p.points; ++k) (*bias)[k] = start + static_cast<double>(k) * step;
}

// The position of each position's first sweep, in nm.
void record_positions(const std::vector<float>& x, const std::vector<float>& y, size_t spectra,
                      size_t sweeps, sm4_spectra* s) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (size_t k = 0; k < spectra / sweeps; ++k) {
        s->x_nm.push_back(x.empty() ? nan : x[k * sweeps] * 1e9);
        s->y_nm.push_back(y.empty() ? nan : y[k * sweeps] * 1e9);
    }
}

// Every position's spectra as the plan selects them.
// The columns are the bias, the current page's sweeps, then the signal
// page's (when there is one).
void fill(const std::string& path, std::string_view bytes, const sm4_page& p,
          const sm4_page* signal, const selection_plan& plan, size_t sweeps, sm4_spectra* s) {
    const size_t positions = s->x_nm.size();
    std::vector<std::vector<double>> table(sweeps * (signal ? 2 : 1) + 1);
    bias_axis(p, &table[0]);
    s->per_position = plan.spectra.size();
    s->spectra.resize(positions * s->per_position);
    for (size_t k = 0; k < positions; ++k) {
        for (size_t w = 0; w < sweeps; ++w) {
            const auto at = static_cast<uint32_t>(k * sweeps + w);
            sm4_values(bytes, p, at, &table[w + 1]);
            if (signal) sm4_values(bytes, *signal, at, &table[sweeps + w + 1]);
        }
        imported_spectrum* at = s->spectra.data() + k * s->per_position;
        apply_selection(plan, table, path, at);
        for (size_t w = 0; w < s->per_position; ++w) {
            at[w].pixel_x = positions > 1 ? static_cast<int>(k % static_cast<size_t>(s->nx)) : -1;
            at[w].pixel_y = positions > 1 ? static_cast<int>(k / static_cast<size_t>(s->nx)) : -1;
        }
    }
}

}  // namespace

bool read_sm4_spectra(const std::string& path, std::string_view bytes, const import_options& o,
                      sm4_spectra* out, std::string* error) {
    std::vector<sm4_page> pages;
    const sm4_page *page = nullptr, *signal = nullptr;
    if (!read_sm4_pages(bytes, &pages, error) || !choose_page(pages, o, &page, error) ||
        !check_sm4_spectra(bytes, *page, error) ||
        !choose_signal_page(bytes, pages, *page, o, &signal, error))
        return false;
    std::vector<float> x, y;
    sm4_positions(bytes, *page, &x, &y);
    const size_t sweeps = sweeps_per_position(x, y);
    std::vector<column_name> columns = columns_of(*page, sweeps);
    if (signal) append_columns(*signal, sweeps, &columns);
    import_options named = o;
    if (named.bias_channel.empty()) named.bias_channel = columns.front().name;
    selection_plan plan;
    if (!plan_selection(columns, named, &plan, error)) return false;
    *out = sm4_spectra{};
    out->signal_unit = plan.signal_unit;
    record_positions(x, y, page->spectra, sweeps, out);
    lay_out(*page, out->x_nm.size(), out);
    fill(path, bytes, *page, signal, plan, sweeps, out);
    return true;
}

bool read_rhk_sm4(const std::string& path, std::string_view bytes, const import_options& o,
                  std::vector<imported_spectrum>* out, std::string* error) {
    sm4_spectra read;
    if (!read_sm4_spectra(path, bytes, o, &read, error)) return false;
    for (auto& s : read.spectra) out->push_back(std::move(s));
    return true;
}

}  // namespace sts
