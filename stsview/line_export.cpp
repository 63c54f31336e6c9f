// A line through a viewed grid as stsgrid's line file: see line_export.h.
#include "stsview/line_export.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>

#include "grid/file_layout.h"
#include "grid/grid_setup.h"
#include "grid/line_collector.h"
#include "grid/line_cut.h"
#include "grid/line_file.h"
#include "grid/quantities.h"
#include "stsview/private_folder.h"

namespace sts {

namespace {

// The text global attributes in the file's order, but the four every file
// of the tools starts with (the writers put their own there); the source
// apart.
bool run_attributes(grid_file& f, std::string* source, std::vector<std::pair<std::string, std::string>>* out,
                    std::string* error) {
    std::vector<std::pair<std::string, std::string>> all;
    if (!f.read_globals(&all, error)) return false;
    for (auto& [name, value] : all) {
        if (name == layout::att_source) *source = value;
        if (name == layout::att_conventions || name == layout::att_title || name == layout::att_source ||
            name == layout::att_software)
            continue;
        out->emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool has_map(const std::vector<pixel_map_variable>& maps, const std::string& name) {
    for (const auto& m : maps)
        if (m.name == name) return true;
    return false;
}

// The current's unit: the current's own, else the part of dI/dV's before '/'.
std::string current_unit(const grid_file& f) {
    if (const grid_variable* v = f.variable("current")) return v->units;
    const grid_variable* d = f.variable("didv");
    return d ? d->units.substr(0, d->units.find('/')) : "";
}

}  // namespace

bool description_of(grid_file& f, const std::vector<pixel_map_variable>& maps,
                    grid_description* out, std::string* error) {
    grid_description d;
    d.nx = static_cast<long>(f.nx());
    d.ny = static_cast<long>(f.ny());
    d.points = static_cast<int>(f.bias().size());
    d.bias_unit = f.bias_units();
    d.current_unit = current_unit(f);
    d.x = f.x();
    d.y = f.y();
    d.xy_unit = f.xy_units();
    d.bias = f.bias();
    d.vmid = f.vmid();
    d.per_pixel_axis = f.per_pixel_axis();
    if (!run_attributes(f, &d.source, &d.attributes, error)) return false;
    for (quantity_group g : {quantity_group::lockin, quantity_group::gap, quantity_group::position,
                             quantity_group::topography}) {
        bool held = false;
        for (const pixel_quantity& q : pixel_quantities)
            held = held || (q.group == g && (f.variable(q.name) || has_map(maps, q.name)));
        if (held) d.groups.push_back(g);
    }
    d.has_topography = d.writes(quantity_group::topography);
    d.has_positions = d.writes(quantity_group::position);
    *out = std::move(d);
    return true;
}

namespace {

// The (y, x) variables the line file takes (the per-pixel quantities and
// gap_status), read whole once: name -> row-major values.
using pixel_values = std::map<std::string, std::vector<float>>;

bool read_maps(grid_file& f, const std::vector<pixel_map_variable>& maps,
               const grid_description& d, pixel_values* out, std::string* error) {
    for (const pixel_quantity& q : pixel_quantities)
        if (q.along == quantity_axis::pixel && written_in(q, d) && has_map(maps, q.name) &&
            !f.read_plane(q.name, &(*out)[q.name], error))
            return false;
    if (d.writes(quantity_group::gap) && has_map(maps, layout::var_gap_status))
        return f.read_plane(layout::var_gap_status, &(*out)[layout::var_gap_status], error);
    return true;
}

// A variable of the file along the points (midpoints: along the midpoints),
// whose pixel axis read_axis gives; nullptr when there is none.
const grid_variable* along(const grid_file& f, bool midpoints) {
    for (const grid_variable& v : f.variables())
        if (v.midpoints == midpoints) return &v;
    return nullptr;
}

// Pixel (x, y)'s records, as the run handed them to the line's collector:
// NaN where the file has none of a quantity the run writes.
bool pixel_of(grid_file& f, const grid_description& d, const pixel_values& maps, size_t x, size_t y,
              pixel_block* b, std::string* error) {
    const size_t p = y * f.nx() + x, points = static_cast<size_t>(d.points);
    b->first = p;
    b->count = 1;
    b->points = d.points;
    b->status = {f.status()[p]};
    if (const auto g = maps.find(layout::var_gap_status); g != maps.end())
        b->gap_status = {static_cast<signed char>(g->second[p])};
    for (const pixel_quantity& q : pixel_quantities) {
        if (!written_in(q, d)) continue;
        std::vector<float>& to = b->*q.values;
        to.assign(values_per_pixel(q, points), std::numeric_limits<float>::quiet_NaN());
        if (q.along == quantity_axis::pixel) {
            if (const auto m = maps.find(q.name); m != maps.end()) to[0] = m->second[p];
        } else if (q.pixel_axis) {
            const grid_variable* v = along(f, q.along == quantity_axis::midpoint);
            if (v && !f.read_axis(*v, x, y, &to, error)) return false;
        } else if (const grid_variable* v = f.variable(q.name)) {
            if (!f.read_row(*v, x, y, 1, to.data(), error)) return false;
        }
    }
    return true;
}

bool read_bytes(const std::string& path, std::string* out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || !in.is_open()) {
        *error = "cannot read back the line file " + path;
        return false;
    }
    return true;
}

}  // namespace

std::string line_file_download(const std::string& path) {
    return companion(path.substr(path.rfind('/') + 1), "_line.nc");
}

bool line_file_bytes(grid_file& f, const std::vector<pixel_map_variable>& maps, size_t x0, size_t y0,
                     size_t x1, size_t y1, std::string* bytes, std::string* error) {
    grid_description d;
    pixel_values values;
    if (!description_of(f, maps, &d, error) || !read_maps(f, maps, d, &values, error)) return false;
    line_collector c(d, line_cut(x0, y0, x1, y1, f.x(), f.y()));
    for (const line_sample& s : c.samples()) {
        pixel_block b;
        if (!pixel_of(f, d, values, s.x, s.y, &b, error)) return false;
        c.add(b);
    }
    private_folder folder;
    if (!folder.make("stsview-line", "the line file", error)) return false;
    const std::string name = f.path().substr(f.path().rfind('/') + 1);
    const std::string path = folder.path + "/" + line_file_download(f.path());
    pixel_line line;
    line.given = true;
    line.x0 = static_cast<long>(x0);
    line.y0 = static_cast<long>(y0);
    line.x1 = static_cast<long>(x1);
    line.y1 = static_cast<long>(y1);
    return write_line_file(path, d, line, c, name, error) && read_bytes(path, bytes, error);
}

}  // namespace sts
