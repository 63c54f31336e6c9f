// The synthetic instrument files: see instrument_files.h.
#include "testkit/instrument_files.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace testkit {

void put_be_float(std::string* out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<char>((bits >> shift) & 0xff));
}

std::function<std::vector<float>(long)> raster_positions(long nx, double pitch) {
    return [nx, pitch](long p) {
        return std::vector<float>{static_cast<float>(pitch * static_cast<double>(p % nx)),
                                  static_cast<float>(pitch * static_cast<double>(p / nx))};
    };
}

nanonis_grid_layout raster_grid(long nx, long ny, long points) {
    nanonis_grid_layout g;
    g.nx = nx;
    g.ny = ny;
    g.points = points;
    g.channels = {"Current (A)", "Current [bwd] (A)"};
    // The instrument's frame: N cells of 2 nm, each pixel at its cell's
    // centre (lib/grid/grid_frame.h: "centre"), so pixel (ix, iy) at 2 ix, 2 iy nm
    // in a frame centred on (nx - 1, ny - 1) nm, 2 nx by 2 ny nm.
    char frame[128];
    std::snprintf(frame, sizeof frame, "%.9E;%.9E;%.9E;%.9E;0E+0",
                  1e-9 * static_cast<double>(nx - 1), 1e-9 * static_cast<double>(ny - 1),
                  2e-9 * static_cast<double>(nx), 2e-9 * static_cast<double>(ny));
    g.settings = frame;
    g.experiment_size = false;
    g.start = -0.5f;
    g.end = 0.5f;
    g.experiment_of = raster_positions(nx, 2e-9);
    return g;
}

nanonis_grid_layout turned_raster_grid(long nx, long ny, long points, double degrees) {
    nanonis_grid_layout g = raster_grid(nx, ny, points);
    g.settings = g.settings.substr(0, g.settings.rfind(';') + 1) + std::to_string(degrees);
    g.experiment_of = [nx, ny, degrees](long p) {
        const double turn = degrees * 3.14159265358979323846 / 180;
        const double cx = 1e-9 * static_cast<double>(nx - 1), cy = 1e-9 * static_cast<double>(ny - 1);
        const double du = 2e-9 * static_cast<double>(p % nx) - cx;
        const double dv = 2e-9 * static_cast<double>(p / nx) - cy;
        return std::vector<float>{
            static_cast<float>(cx + du * std::cos(turn) + dv * std::sin(turn)),
            static_cast<float>(cy - du * std::sin(turn) + dv * std::cos(turn))};
    };
    return g;
}

namespace {

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : separator) + part;
    return text;
}

// Sweep Start, Sweep End and the experiment parameters of pixel p.
void put_parameters(std::string* bytes, const nanonis_grid_layout& g, long p) {
    put_be_float(bytes, g.start);
    put_be_float(bytes, g.end_of ? g.end_of(p) : g.end);
    const std::vector<float> experiment =
        g.experiment_of ? g.experiment_of(p)
                        : std::vector<float>{static_cast<float>(p) * 1e-9f, 0.0f};
    for (float v : experiment) put_be_float(bytes, v);
}

}  // namespace

std::string nanonis_grid_header(const nanonis_grid_layout& g) {
    const long points = g.header_points < 0 ? g.points : g.header_points;
    std::string text = "Grid dim=\"" + std::to_string(g.nx) + " x " + std::to_string(g.ny) +
                       "\"\r\nGrid settings=" + g.settings + "\r\nFiletype=" + g.filetype +
                       "\r\nSweep Signal=\"Bias (V)\"\r\n"
                       "Fixed parameters=\"Sweep Start;Sweep End\"\r\n"
                       "Experiment parameters=\"" + joined(g.experiment_parameters, ";") +
                       "\"\r\n# Parameters (4 byte)=" +
                       std::to_string(2 + g.experiment_parameters.size()) + "\r\n";
    if (g.experiment_size)
        text += "Experiment size (bytes)=" +
                std::to_string(g.channels.size() * static_cast<size_t>(g.points) * 4) + "\r\n";
    return text + "Points=" + std::to_string(points) + "\r\nChannels=\"" +
           joined(g.channels, ";") + "\"\r\n" + g.extra + ":HEADER_END:\r\n";
}

std::string nanonis_grid_pixel(const nanonis_grid_layout& g, long p, const grid_values& value) {
    std::string bytes;
    put_parameters(&bytes, g, p);
    for (int c = 0; c < static_cast<int>(g.channels.size()); ++c)
        for (long k = 0; k < g.points; ++k) put_be_float(&bytes, value(p, c, k));
    return bytes;
}

std::string nanonis_grid(const nanonis_grid_layout& g, const grid_values& value) {
    std::string bytes = nanonis_grid_header(g);
    const long pixels = g.written < 0 ? g.nx * g.ny : g.written;
    for (long p = 0; p < pixels; ++p) bytes += nanonis_grid_pixel(g, p, value);
    return bytes;
}

std::string nanonis_grid(const nanonis_grid_layout& g, const grid_pixel_values& pixels) {
    nanonis_grid_layout layout = g;
    if (layout.written < 0) layout.written = static_cast<long>(pixels.size());
    // Each channel as long as the caller made it (a test may cut one short).
    std::string bytes = nanonis_grid_header(layout);
    for (size_t p = 0; p < static_cast<size_t>(layout.written); ++p) {
        put_parameters(&bytes, layout, static_cast<long>(p));
        for (const auto& channel : pixels[p])
            for (float v : channel) put_be_float(&bytes, v);
    }
    return bytes;
}

std::string nanonis_dat(const nanonis_dat_layout& d) {
    std::string text = d.byte_order_mark ? "\xef\xbb\xbf" : "";
    for (const auto& [name, value] : d.header) text += name + "\t" + value + "\t\n";
    const char* end = d.trailing_tab ? "\t\n" : "\n";
    text += "\n[DATA]\n" + joined(d.columns, "\t") + end;
    for (const auto& row : d.rows) text += joined(row, "\t") + end;
    return text;
}

namespace {

// A number as Nanonis writes it in a .sxm header: "4.000000E-9", "5.900E+1"
// (no padding of the exponent).
std::string nanonis_e(double v, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*E", digits, v);
    std::string s = text;
    const size_t e = s.find('E');
    const int exponent = std::atoi(s.c_str() + e + 1);
    return s.substr(0, e + 1) + (exponent < 0 ? "-" : "+") + std::to_string(std::abs(exponent));
}

std::string sxm_entry(const std::string& name, const std::string& value) {
    return ":" + name + ":\n" + value + "\n";
}

// The channel numbers Nanonis gives the signals the real files hold.
const char* channel_number(const std::string& name) {
    return name == "Z" ? "14" : name == "Current" ? "0" : "8";
}

}  // namespace

std::string nanonis_sxm_header(const nanonis_sxm_layout& s) {
    const std::string pixels = s.pixels.empty() ? "       " + std::to_string(s.nx) + "       " +
                                                      std::to_string(s.ny)
                                                : s.pixels;
    std::string text =
        sxm_entry("NANONIS_VERSION", s.version) + sxm_entry("SCANIT_TYPE", "              " + s.type) +
        sxm_entry("REC_DATE", " 31.03.2023") + sxm_entry("REC_TIME", "14:38:44") +
        sxm_entry("REC_TEMP", "      290.0000000000") + sxm_entry("ACQ_TIME", "       131.3") +
        sxm_entry("SCAN_PIXELS", pixels) + sxm_entry("SCAN_FILE", "C:\\Data\\made_001.sxm") +
        sxm_entry("SCAN_TIME", "             2.560E-1             2.560E-1") +
        sxm_entry("SCAN_RANGE", "           " + nanonis_e(s.width, 6) + "           " +
                                    nanonis_e(s.height, 6)) +
        sxm_entry("SCAN_OFFSET", "             " + nanonis_e(s.centre_x, 6) + "         " +
                                     nanonis_e(s.centre_y, 6)) +
        sxm_entry("SCAN_ANGLE", "            " + nanonis_e(s.angle, 3)) +
        sxm_entry("SCAN_DIR", s.up ? "up" : "down") + sxm_entry("BIAS", "            5.000E-2") +
        sxm_entry("Z-CONTROLLER", "\tName\ton\tSetpoint\tP-gain\tI-gain\tT-const\n"
                                  "\tlog Current\t1\t5.000E-10 A\t4.000E-12 m\t2.222E-8 m/s\t"
                                  "1.800E-4 s") +
        sxm_entry("COMMENT", "made for a test\nof two lines") +
        sxm_entry("Scan>Scanfield", nanonis_e(s.centre_x, 5) + ";" + nanonis_e(s.centre_y, 5) + ";" +
                                        nanonis_e(s.width, 5) + ";" + nanonis_e(s.height, 5) + ";" +
                                        nanonis_e(s.angle, 3)) +
        sxm_entry("Scan>pixels/line", std::to_string(s.nx)) +
        sxm_entry("Scan>lines", std::to_string(s.ny)) +
        ":DATA_INFO:\n\tChannel\tName\tUnit\tDirection\tCalibration\tOffset\n";
    for (const auto& c : s.channels)
        text += std::string("\t") + channel_number(c.name) + "\t" + c.name + "\t" + c.unit + "\t" +
                c.direction + "\t1.000E+0\t0.000E+0\n";
    return text + "\n:SCANIT_END:\n\n\n\x1a\x04";
}

std::string nanonis_sxm(const nanonis_sxm_layout& s, const sxm_values& value) {
    std::string bytes = nanonis_sxm_header(s);
    for (size_t c = 0; c < s.channels.size(); ++c)
        for (bool backward : {false, true}) {
            const std::string& d = s.channels[c].direction;
            if (d == (backward ? "forward" : "backward")) continue;
            for (long k = 0; k < s.ny; ++k)
                for (long j = 0; j < s.nx; ++j)
                    put_be_float(&bytes, value(c, backward, backward ? s.nx - 1 - j : j,
                                               s.up ? k : s.ny - 1 - k));
        }
    return bytes;
}

const char* const createc_vert_header =
    "DAC-Type=20bit\r\nGainpreamp / GainPre 10^=9\r\nVertSpecBack=1\r\nVertchannelselectval=3\r\n";

std::string createc_vert(const std::vector<createc_vert_row>& rows, const std::string& header) {
    std::string text = "[ParVERT30]\r\nTitel / Titel=test\r\nDrift_X / Drift_X[\xc5/sec]=0\r\n" +
                       header + "  /  = \r\n" + std::string(40, '\0') + "\nDATA\r\n   " +
                       std::to_string(rows.size()) + "   -4032   10512                   3\r\n";
    for (size_t k = 0; k < rows.size(); ++k) {
        char line[200];
        std::snprintf(line, sizeof line, "%zu\t%.5E\t8.44000E-02\t%.5E\t8.10899E+02\t\r\n", k,
                      rows[k].bias_mV, rows[k].counts);
        text += line;
    }
    return text;
}

}  // namespace testkit
