// The Fourier maps' files: see fourier_files.h.
#include "grid/fourier_files.h"

#include "grid/file_layout.h"
#include "sts/version.h"

namespace sts {

namespace {

const char* const q_comment = "q = 2 pi n / L, L = N * step (angular wave number, so that a plane "
                              "wave cos(q . r) shows at q); zero frequency at index N/2";

// The room a file of slices maps of rows x columns floats, count times,
// needs: with a mebibyte for the headers, axes and the library's records.
uint64_t bound(size_t slices, size_t rows, size_t columns, size_t count) {
    return (uint64_t{1} << 20) + uint64_t{count} * (slices + 3) * rows * columns * sizeof(float) +
           (slices + rows + columns) * sizeof(double);
}

const std::vector<float>& slice_axis(const fourier_file_facts& facts) {
    return facts.q->along == quantity_axis::point ? facts.d->bias : facts.d->vmid;
}

// What both files say of the run as a whole.
void globals(map_stack_file& f, const fourier_file_facts& facts, const std::string& title) {
    const grid_description& d = *facts.d;
    const fourier_outcome& o = *facts.outcome;
    f.text(NC_GLOBAL, layout::att_conventions, layout::conventions);
    f.text(NC_GLOBAL, layout::att_title, title);
    f.text(NC_GLOBAL, layout::att_source, d.source);
    f.text(NC_GLOBAL, layout::att_software, "stsgrid " STS_VERSION);
    f.text(NC_GLOBAL, layout::att_grid_file, facts.grid_file);
    f.text(NC_GLOBAL, "fft_variable", facts.q->name);
    if (o.lattice) {
        f.numbers(NC_GLOBAL, "bragg_q1", {o.q1x, o.q1y});
        f.numbers(NC_GLOBAL, "bragg_q2", {o.q2x, o.q2y});
        f.text(NC_GLOBAL, "bragg_units", "nm-1");
        f.text(NC_GLOBAL, "bragg_source",
               o.lattice_found ? "found in the transform of the grid's topography"
                               : "given on the command line (--bragg)");
        f.numbers(NC_GLOBAL, "lattice_constants", {o.a1, o.a2});
        f.numbers(NC_GLOBAL, "lattice_angle", {o.lattice_angle});
        f.numbers(NC_GLOBAL, "q1_angle", {o.q1_angle});
        f.text(NC_GLOBAL, "lattice_comment",
               "lattice_constants (nm): the lengths of the real-space vectors dual to bragg_q1 "
               "and bragg_q2; lattice_angle (degrees) between them; q1_angle (degrees) of "
               "bragg_q1 from +qx, counterclockwise");
    }
    if (o.drift_lambda > 0) {
        f.numbers(NC_GLOBAL, "drift_lambda", {o.drift_lambda});
        f.numbers(NC_GLOBAL, "drift_rms", {o.drift_rms});
        f.numbers(NC_GLOBAL, "bragg_width_before", {o.width_before});
        f.numbers(NC_GLOBAL, "bragg_width_after", {o.width_after});
        f.text(NC_GLOBAL, "drift_comment",
               "Lawler et al., Nature 466, 347 (2010): the local phase of each Bragg wave in the "
               "topography, averaged by a Gaussian of standard deviation drift_lambda (nm), gives "
               "the displacement u(r); every map is read at r + u(r) (bilinear), NaN where that "
               "leaves the scan. drift_rms: the rms length of u (nm); bragg_width_before and "
               "_after: the rms radius (nm-1) of the topography's peak at bragg_q1");
    }
}

// The bias coordinate, as the grid's file has it.
int bias_axis(map_stack_file& f, const fourier_file_facts& facts, int dim) {
    const grid_description& d = *facts.d;
    const bool point = facts.q->along == quantity_axis::point;
    const std::string of = d.per_pixel_axis ? " (of the first processed pixel: the pixels' own "
                                              "axes differ, and slice k is every pixel's k-th value)"
                                            : "";
    return f.variable(layout::var_bias, NC_FLOAT, {dim}, d.bias_unit,
                      (point ? "bias" : "bias midway between neighbouring points") + of);
}

std::string quantity_unit_text(const fourier_file_facts& facts) {
    return unit_text(facts.q->unit, facts.d->bias_unit, facts.d->current_unit);
}

}  // namespace

bool fft_file::open(const fourier_file_facts& facts, std::string* error) {
    const fourier_outcome& o = *facts.outcome;
    nx_ = o.nx;
    ny_ = o.ny;
    const bool symmetrise = !o.group.empty();
    if (!f_.create(bound(o.slices, ny_, nx_, symmetrise ? 2 : 1), error)) return false;
    const int bias = f_.dimension(layout::var_bias, o.slices);
    const int qy = f_.dimension("qy", ny_), qx = f_.dimension("qx", nx_);
    globals(f_, facts, "Fourier maps of a grid of STS spectra");
    f_.text(NC_GLOBAL, "window", facts.hann ? "hann" : "none");
    f_.text(NC_GLOBAL, "scale", "amplitude");
    f_.text(NC_GLOBAL, "maps", o.drift_lambda > 0 ? "drift-corrected (as in the file named by "
                                                    "corrected_file)"
                                                  : "as measured");
    if (o.drift_lambda > 0) f_.text(NC_GLOBAL, "corrected_file", o.corrected);
    if (symmetrise) {
        f_.text(NC_GLOBAL, "point_group", o.group);
        f_.text(NC_GLOBAL, "interpolation", "bilinear");
    }
    const int vbias = bias_axis(f_, facts, bias);
    const int vqx = f_.variable("qx", NC_DOUBLE, {qx}, "nm-1", "wave number along x");
    const int vqy = f_.variable("qy", NC_DOUBLE, {qy}, "nm-1", "wave number along y");
    for (int v : {vqx, vqy}) f_.text(v, layout::att_comment, q_comment);
    const std::string name = std::string("fft_") + facts.q->name;
    const std::string transform =
        "the mean of each slice's finite pixels removed, missing pixels filled with that mean "
        "(missing_pixels counts them), " +
        std::string(facts.hann ? "a Hann window (numpy.hanning) along each axis, " : "") +
        "the amplitude |F| of the 2-D DFT, unnormalised as numpy.fft.fft2, centred as "
        "numpy.fft.fftshift";
    fft_ = f_.variable(name, NC_FLOAT, {bias, qy, qx}, quantity_unit_text(facts),
                       std::string("|Fourier transform| of ") + facts.q->long_name);
    f_.text(fft_, layout::att_comment, transform);
    if (symmetrise) {
        symmetrised_ = f_.variable(name + "_symmetrised", NC_FLOAT, {bias, qy, qx},
                                   quantity_unit_text(facts),
                                   "the same symmetrised by the point group " + o.group);
        f_.text(symmetrised_, layout::att_comment,
                "the mean over the group's operations g (about bragg_q1: q1_angle) of the map at "
                "g q, read by bilinear interpolation; operations that leave the map are left out");
    }
    missing_ = f_.variable("missing_pixels", NC_INT, {bias}, layout::unit_one,
                           "pixels of the slice that were missing (NaN) and filled with its mean");
    if (facts.topography) {
        topography_ = f_.variable("fft_topography", NC_FLOAT, {qy, qx}, "nm",
                                  "|Fourier transform| of the topography" +
                                      std::string(o.drift_lambda > 0 ? ", drift-corrected" : ""));
        f_.text(topography_, layout::att_comment, transform);
        f_.numbers(topography_, "missing_pixels", {static_cast<double>(o.topography_missing)});
    }
    f_.end_definitions();
    f_.put(vbias, slice_axis(facts).data());
    f_.put(vqx, o.qx.data());
    f_.put(vqy, o.qy.data());
    return true;
}

void fft_file::put_slices(size_t first, size_t count, const float* fft, const float* symmetrised) {
    f_.put_slices(fft_, first, count, ny_, nx_, fft);
    if (symmetrised) f_.put_slices(symmetrised_, first, count, ny_, nx_, symmetrised);
}

void fft_file::put_symmetrised(size_t first, size_t count, const float* symmetrised) {
    f_.put_slices(symmetrised_, first, count, ny_, nx_, symmetrised);
}

void fft_file::put_missing(const std::vector<int>& missing) { f_.put(missing_, missing.data()); }

void fft_file::put_topography(const float* fft) {
    if (topography_ >= 0) f_.put(topography_, fft);
}

bool corrected_file::open(const fourier_file_facts& facts, std::string* error) {
    const fourier_outcome& o = *facts.outcome;
    const grid_description& d = *facts.d;
    nx_ = o.nx;
    ny_ = o.ny;
    if (!f_.create(bound(o.slices, ny_, nx_, 1), error)) return false;
    const int bias = f_.dimension(layout::var_bias, o.slices);
    const int y = f_.dimension(layout::dim_y, ny_), x = f_.dimension(layout::dim_x, nx_);
    globals(f_, facts, "Drift-corrected maps of a grid of STS spectra");
    const int vbias = bias_axis(f_, facts, bias);
    const int vx = f_.variable(layout::var_x, NC_DOUBLE, {x}, d.xy_unit, "position along x");
    const int vy = f_.variable(layout::var_y, NC_DOUBLE, {y}, d.xy_unit, "position along y");
    maps_ = f_.variable(facts.q->name, NC_FLOAT, {bias, y, x}, quantity_unit_text(facts),
                        std::string(facts.q->long_name) + ", drift-corrected");
    topography_ = f_.variable("topography", NC_FLOAT, {y, x}, "nm",
                              "height of the tip over the pixel as recorded, drift-corrected");
    const std::string u = "displacement of the lattice at the pixel along ";
    ux_ = f_.variable("u_x", NC_FLOAT, {y, x}, "nm", u + "x: the map at r is read at r + u(r)");
    uy_ = f_.variable("u_y", NC_FLOAT, {y, x}, "nm", u + "y: the map at r is read at r + u(r)");
    f_.end_definitions();
    f_.put(vbias, slice_axis(facts).data());
    f_.put(vx, d.x.data());
    f_.put(vy, d.y.data());
    return true;
}

void corrected_file::put_slices(size_t first, size_t count, const float* maps) {
    f_.put_slices(maps_, first, count, ny_, nx_, maps);
}

void corrected_file::put_field(const float* topography, const float* ux, const float* uy) {
    f_.put(topography_, topography);
    f_.put(ux_, ux);
    f_.put(uy_, uy);
}

}  // namespace sts
