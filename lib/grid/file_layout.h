// The names of stsgrid's netCDF files, written once: the grid's file
// (netcdf_writer.h describes its layout), the line cut's (line_file.h) and
// stsview's reader (stsview/grid_file.cpp) all spell them from here.
// The names are an interface: scripts rely on them.  The per-pixel
// quantities' names ("current", "didv", ...) are in quantities.h, the
// status words (flag_meanings) in pixel_codes.h and spectrum/gap.h.
#ifndef GRID_FILE_LAYOUT_H
#define GRID_FILE_LAYOUT_H

namespace sts::layout {

// Dimensions.
inline constexpr const char* dim_y = "y";
inline constexpr const char* dim_x = "x";
inline constexpr const char* dim_point = "point";
inline constexpr const char* dim_midpoint = "midpoint";
inline constexpr const char* dim_sample = "sample";  // the line cut's
inline constexpr const char* dim_scan_y = "scan_y";  // --topography: the scan's lines
inline constexpr const char* dim_scan_x = "scan_x";  // and pixels along a line

// Coordinates and variables of the grid's file.
inline constexpr const char* var_x = "x";
inline constexpr const char* var_y = "y";
inline constexpr const char* var_bias = "bias";
inline constexpr const char* var_vmid = "vmid";
inline constexpr const char* var_status = "status";
inline constexpr const char* var_gap_status = "gap_status";
inline constexpr const char* var_fit_status = "fit_status";  // with --fit
inline constexpr const char* var_position_x = "position_x";
inline constexpr const char* var_position_y = "position_y";
inline constexpr const char* var_pixel_bias = "pixel_bias";  // per-pixel axes
inline constexpr const char* var_pixel_vmid = "pixel_vmid";
// --topography: the scan image whole on its own axes, each of its pixels'
// place in the grid's axes, and the image at each grid pixel's place.
inline constexpr const char* var_scan_x = "scan_x";
inline constexpr const char* var_scan_y = "scan_y";
inline constexpr const char* var_scan_image = "scan_image";
inline constexpr const char* var_scan_grid_x = "scan_grid_x";
inline constexpr const char* var_scan_grid_y = "scan_grid_y";
inline constexpr const char* var_scan_topography = "scan_topography";
// The statistics of quantity <name>: mean_<name>, sd_<name>, se_<name>.
inline constexpr const char* prefix_mean = "mean_";
inline constexpr const char* prefix_sd = "sd_";
inline constexpr const char* prefix_se = "se_";

// Variables of the line cut's file (x, y, status, gap_status, bias, vmid
// as above).
inline constexpr const char* var_distance = "distance";
inline constexpr const char* var_pixel_x = "pixel_x";
inline constexpr const char* var_pixel_y = "pixel_y";

// Attributes of variables.
inline constexpr const char* att_units = "units";
inline constexpr const char* att_long_name = "long_name";
inline constexpr const char* att_axis = "axis";
inline constexpr const char* att_coordinates = "coordinates";
inline constexpr const char* att_comment = "comment";
inline constexpr const char* att_flag_values = "flag_values";
inline constexpr const char* att_flag_meanings = "flag_meanings";
inline constexpr const char* att_pixels = "pixels";  // of the statistics: how many pixels

// Global attributes.
inline constexpr const char* att_conventions = "Conventions";
inline constexpr const char* att_title = "title";
inline constexpr const char* att_source = "source";
inline constexpr const char* att_software = "software";
inline constexpr const char* att_line_start = "line_start";
inline constexpr const char* att_line_end = "line_end";
inline constexpr const char* att_line_samples = "line_samples";
inline constexpr const char* att_grid_file = "grid_file";

// Values of attributes.
inline constexpr const char* conventions = "CF-1.8";
inline constexpr const char* unit_one = "1";  // counts, codes, pixel numbers

}  // namespace sts::layout

#endif
