// The file of a cut through Fourier maps: see q_cut_file.h.
#include "grid/q_cut_file.h"

#include "grid/file_layout.h"
#include "grid/map_stack_file.h"
#include "sts/version.h"

namespace sts {

bool write_q_cut_file(const std::string& path, const q_cut_facts& facts, const float* values,
                      std::string* error) {
    map_stack_file f(path);
    const size_t nb = facts.bias.size(), ns = facts.distance.size();
    const uint64_t room = (uint64_t{1} << 20) + uint64_t{nb} * ns * sizeof(float) +
                          3 * ns * sizeof(double) + nb * sizeof(float);
    if (!f.create(room, error)) return false;
    f.text(NC_GLOBAL, layout::att_conventions, layout::conventions);
    f.text(NC_GLOBAL, layout::att_title, "line cut through the Fourier maps of " + facts.variable);
    f.text(NC_GLOBAL, layout::att_software, "stsview " STS_VERSION);
    f.text(NC_GLOBAL, layout::att_grid_file, facts.grid_file);
    f.text(NC_GLOBAL, "fft_variable", facts.variable);
    f.numbers(NC_GLOBAL, "q0", {facts.q0x, facts.q0y});
    f.numbers(NC_GLOBAL, "q1", {facts.q1x, facts.q1y});
    f.text(NC_GLOBAL, "q_units", "nm-1");
    f.text(NC_GLOBAL, "window", facts.hann ? "hann" : "none");
    f.text(NC_GLOBAL, "scale", "amplitude");
    if (!facts.group.empty()) f.text(NC_GLOBAL, "point_group", facts.group);
    f.text(NC_GLOBAL, "interpolation", "bilinear");
    const int bias = f.dimension(layout::var_bias, nb);
    const int sample = f.dimension("sample", ns);
    const int vb = f.variable(layout::var_bias, NC_FLOAT, {bias}, facts.bias_unit, facts.bias_long_name);
    const int vd = f.variable("distance", NC_DOUBLE, {sample}, "nm-1", "distance along the cut from q0");
    const int vqx = f.variable("qx", NC_DOUBLE, {sample}, "nm-1", "wave number along x of the sample");
    const int vqy = f.variable("qy", NC_DOUBLE, {sample}, "nm-1", "wave number along y of the sample");
    const int vv = f.variable("fft_" + facts.variable + "_cut", NC_FLOAT, {bias, sample}, facts.units,
                              "|F| of " + facts.long_name + " along the cut");
    f.text(vv, layout::att_comment,
           "the amplitude of each slice's unnormalised 2-D DFT (mean removed), read between "
           "q-pixels by bilinear interpolation, one q-pixel apart from q0 to q1");
    f.end_definitions();
    f.put(vb, facts.bias.data());
    f.put(vd, facts.distance.data());
    f.put(vqx, facts.qx.data());
    f.put(vqy, facts.qy.data());
    f.put(vv, values);
    return f.finish(error);
}

}  // namespace sts
