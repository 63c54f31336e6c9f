// The checks stsview runs on a grid file's declarations before it reads
// any data (grid/layout_check.h), over descriptions of a real stsgrid file
// (written once at start by the grid writer, then described as the reader
// describes it) mutated by the fuzzer: names, types, shapes, dimension
// lengths, filters, attribute types and lengths, the file's size and the
// memory allowed.  Every description is refused with a message, or
// accepted with a layout whose every read stays inside what was checked:
// the buffers the reader sizes from the dimensions are exactly each
// variable's size, and what it must hold fits the file and memory.
#include <unistd.h>

#include <cmath>
#include <netcdf.h>
#include <string>

#include "fuzz/fuzz_input.h"
#include "grid/file_layout.h"
#include "grid/layout_check.h"
#include "grid/netcdf_file.h"
#include "fuzz/fuzz_grid_file.h"
#include "grid/netcdf_writer.h"

using namespace sts;

namespace {

// A 5 x 4 grid of 6 points with statistics of didv, written by stsgrid's
// own writer and described as stsview describes it.
file_description real_description() {
    static char folder[] = "/tmp/fuzz_grid_layout.XXXXXX";
    fuzz_check(mkdtemp(folder) != nullptr, "a scratch folder");
    const std::string path = std::string(folder) + "/g.nc";
    const grid_description d = fuzz_grid_description();
    std::string error;
    {
        netcdf_writer w;
        const std::vector<float> m(5, 1.0f);
        fuzz_check(w.create(path, d, &error) && w.write_statistics("didv", m, m, m, 0, &error) &&
                       w.commit(&error),
                   "the grid file");
    }
    file_description out;
    {
        netcdf_file f;
        fuzz_check(f.open(path, &error) && f.describe(&out, &error), "the description");
    }
    unlink(path.c_str());
    rmdir(folder);
    grid_layout layout;
    fuzz_check(check_grid_layout(out, &layout).empty(), "the real file passes");
    return out;
}

const int types[] = {NC_BYTE, NC_CHAR, NC_SHORT, NC_INT, NC_FLOAT, NC_DOUBLE, NC_UBYTE,
                     NC_USHORT, NC_UINT, NC_INT64, NC_UINT64, NC_STRING, 42};
const char* names[] = {"x", "y", "point", "midpoint", "bias", "vmid", "status", "didv",
                       "current", "mean_didv", "se_didv", "pixel_bias", "pixel_vmid", "pixels",
                       "units", "flag_meanings", "long_name", "sample", "mean_current", "se_current"};

uint64_t any_length(fuzz_input& in) {
    switch (in.byte() % 4) {
        case 0: return in.byte() % 8;
        case 1: return in.u32();
        case 2: return uint64_t{in.u32()} << 32 | in.u32();
        default: return uint64_t{1} << (in.byte() % 64);
    }
}

// One change to the description, chosen by the input.
void mutate(fuzz_input& in, file_description& d) {
    const size_t nv = d.variables.size(), nd = d.dimensions.size();
    described_variable* v = nv ? &d.variables[in.byte() % nv] : nullptr;
    switch (in.byte() % 12) {
        case 0: if (nd) d.dimensions[in.byte() % nd].length = any_length(in); break;
        case 1: if (nd) d.dimensions[in.byte() % nd].name = names[in.byte() % std::size(names)]; break;
        case 2: if (v) v->name = names[in.byte() % std::size(names)]; break;
        case 3: if (v) v->type = types[in.byte() % std::size(types)]; break;
        case 4: if (v) v->dimensions.push_back(static_cast<int>(in.byte() % (nd + 2)) - 1); break;
        case 5: if (v && !v->dimensions.empty()) v->dimensions.pop_back(); break;
        case 6: if (v && !v->dimensions.empty())
                    v->dimensions[in.byte() % v->dimensions.size()] = static_cast<int>(in.byte() % (nd + 2)) - 1;
                break;
        case 7: if (v) { v->deflated = in.byte() & 1; v->other_filter = in.byte() & 1; } break;
        case 8: if (v && !v->attributes.empty()) {
                    described_attribute& a = v->attributes[in.byte() % v->attributes.size()];
                    a.type = types[in.byte() % std::size(types)];
                    a.length = any_length(in);
                }
                break;
        case 9: if (v) v->attributes.push_back({names[in.byte() % std::size(names)],
                                                types[in.byte() % std::size(types)], any_length(in)});
                break;
        case 10: d.file_bytes = any_length(in); d.memory_bytes = any_length(in); break;
        default: d.format = static_cast<netcdf_format>(in.byte() % 4); break;
    }
}

uint64_t length_of(const file_description& d, int dim) {
    fuzz_check(dim >= 0 && static_cast<size_t>(dim) < d.dimensions.size(), "a dimension of the file");
    return d.dimensions[static_cast<size_t>(dim)].length;
}

// The variable at index var is of type over dims of exactly these lengths.
void expect_shape(const file_description& d, int var, int type, std::vector<uint64_t> lengths) {
    fuzz_check(var >= 0 && static_cast<size_t>(var) < d.variables.size(), "a variable of the file");
    const described_variable& v = d.variables[static_cast<size_t>(var)];
    fuzz_check(v.type == type, "the type checked");
    fuzz_check(v.dimensions.size() == lengths.size(), "the rank checked");
    for (size_t k = 0; k < lengths.size(); ++k)
        fuzz_check(length_of(d, v.dimensions[k]) == lengths[k], "the shape checked");
    for (const described_attribute& a : v.attributes) {
        if (a.name == layout::att_pixels) fuzz_check(a.length == 1, "one pixels value");
        if (a.name == layout::att_units || a.name == layout::att_long_name ||
            a.name == layout::att_flag_meanings)
            fuzz_check(a.type == NC_CHAR && a.length <= d.file_bytes, "text within the file");
    }
}

void expect_safe(const file_description& d, const grid_layout& g) {
    fuzz_check(d.format == netcdf_format::netcdf4 || d.format == netcdf_format::netcdf4_classic,
               "netCDF-4 only");
    fuzz_check(g.nx >= 1 && g.ny >= 1 && g.points >= 2, "a grid");
    // The reader's buffers: x_ (nx), y_ (ny), bias_ (points), vmid_
    // (points - 1), status_ (nx * ny).
    expect_shape(d, g.x, NC_DOUBLE, {g.nx});
    expect_shape(d, g.y, NC_DOUBLE, {g.ny});
    expect_shape(d, g.bias, NC_FLOAT, {g.points});
    expect_shape(d, g.vmid, NC_FLOAT, {g.points - 1});
    expect_shape(d, g.status, NC_BYTE, {g.ny, g.nx});
    const long double room = static_cast<long double>(d.file_bytes) * deflate_ratio_limit;
    fuzz_check(static_cast<long double>(g.nx) * g.ny <= room, "the status fits the file");
    fuzz_check(static_cast<long double>(g.points) * 4 <= room, "the bias fits the file");
    fuzz_check((g.pixel_bias < 0) == (g.pixel_vmid < 0), "both per-pixel axes or neither");
    if (g.pixel_bias >= 0) {
        expect_shape(d, g.pixel_bias, NC_FLOAT, {g.ny, g.nx, g.points});
        expect_shape(d, g.pixel_vmid, NC_FLOAT, {g.ny, g.nx, g.points - 1});
    }
    fuzz_check(!g.curves.empty(), "a curve");
    for (const grid_layout::curve& c : g.curves) {
        const uint64_t length = c.midpoints ? g.points - 1 : g.points;
        expect_shape(d, c.var, NC_FLOAT, {g.ny, g.nx, length});
        fuzz_check(static_cast<long double>(g.nx) * g.ny * length * 4 <= d.memory_bytes,
                   "the copy of a curve fits in memory");
        fuzz_check((c.mean < 0) == (c.se < 0), "mean and se together");
        if (c.mean >= 0) {
            expect_shape(d, c.mean, NC_FLOAT, {length});
            expect_shape(d, c.se, NC_FLOAT, {length});
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const file_description real = real_description();
    file_description d = real;
    fuzz_input in{data, size};
    while (!in.empty()) mutate(in, d);
    grid_layout g;
    const std::string problem = check_grid_layout(d, &g);
    if (problem.empty())
        expect_safe(d, g);
    else
        fuzz_check(g.curves.empty() && g.x < 0, "a refusal leaves no layout");
    return 0;
}
