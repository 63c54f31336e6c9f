// A line cut in a run: see line_output.h.
#include "grid/line_output.h"

#include "grid/line_cut.h"
#include "grid/grid_setup.h"
#include "grid/line_file.h"

namespace sts {

std::unique_ptr<line_collector> open_line(const grid_description& d, const grid_plan& o,
                                          std::string* error) {
    const pixel_line& l = o.line;
    *error = line_problem(l.x0, l.y0, l.x1, l.y1, d.nx, d.ny);
    if (!error->empty()) return nullptr;
    for (const std::string& name : o.line_vars) {
        const pixel_quantity* q = find_pixel_quantity(name);
        if (!q || !written_in(*q, d)) {
            const std::string group = q ? group_name(q->group) : "";
            *error = "this run does not write " + name +
                     (group.empty() ? ""
                                    : " (of the " + group +
                                          " quantities, written only when "
                                          "their option asks for them)") +
                     "; choose another with --line-vars";
            return nullptr;
        }
    }
    const auto at = [](long v) { return static_cast<size_t>(v); };
    return std::make_unique<line_collector>(
        d, line_cut(at(l.x0), at(l.y0), at(l.x1), at(l.y1), d.x, d.y));
}

std::vector<std::string> line_picture_names(const grid_description& d, const grid_plan& o) {
    if (!o.line_vars.empty()) return o.line_vars;
    std::vector<std::string> names;
    std::vector<quantity_group> groups = {quantity_group::always};
    groups.insert(groups.end(), d.groups.begin(), d.groups.end());
    for (quantity_group g : groups)
        for (const pixel_quantity* q : map_quantities(g))
            if (written_in(*q, d)) names.emplace_back(q->name);
    return names;
}

std::string line_file_name(const std::string& out) { return companion(out, "_line.nc"); }

bool write_line_output(const grid_description& d, const grid_plan& o, const std::string& out,
                       const line_collector& c, std::string* error) {
    const size_t slash = out.rfind('/');
    const std::string grid_file = slash == std::string::npos ? out : out.substr(slash + 1);
    return write_line_file(line_file_name(out), d, o.line, c, grid_file, error);
}

}  // namespace sts
