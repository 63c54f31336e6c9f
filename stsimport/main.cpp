// stsimport: converts instrument files to the (bias, current) pair files
// that normspec and pointmean read, named as those tools expect.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "stsimport.h"

namespace {

const char* const usage_text =
    "Usage: stsimport [OPTION]... FILE...\n"
    "Convert STS instrument files to the pair files that normspec and pointmean read.\n"
    "\n"
    "Formats (found from the contents unless --format is given):\n"
    "  Nanonis bias spectroscopy .dat, Nanonis grid spectroscopy .3ds,\n"
    "  delimited text (comma, semicolon or tab) with a header row naming the columns.\n"
    "\n"
    "Options:\n"
    "  -c, --channel=NAME     current channel (default: Current)\n"
    "  -b, --bias=NAME        bias column (default: \"Bias calc\", then \"Bias\")\n"
    "  -d, --direction=DIR    fwd (default), bwd, or mean of the two sweeps\n"
    "      --each-sweep       one file per recorded sweep [00001], [00002], ...\n"
    "  -o, --out=DIR          output folder (default: .; created if missing)\n"
    "  -n, --names=STYLE      s: s1, s2, ... (normspec -l; the default)\n"
    "                         stxt: stxt1p.txt, stxt2p.txt, ... (pointmean)\n"
    "      --start=K          number of the first output (default 1)\n"
    "      --bias-unit=U      V (default) or mV\n"
    "      --current-unit=U   nA (default) or pA\n"
    "  -f, --format=F         auto (default), dat, 3ds or csv\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Every spectrum becomes one file of \"%.9g %.9g\" rows in the instrument's point\n"
    "order; stsimport-index.tsv in the output folder maps each file to its source\n"
    "(file, grid pixel x and y, sweep, direction).\n"
    "\n"
    "Exit status: 0 on success, 1 when an input is bad or incomplete (a grid that\n"
    "was interrupted keeps its complete pixels), 2 for a wrong command line.\n";

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "stsimport: %s\nTry 'stsimport --help' for more information.\n",
                 message.c_str());
    std::exit(2);
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "stsimport: %s\n", message.c_str());
    std::exit(1);
}

bool read_whole(const std::string& path, std::string* bytes, std::string* error) {
    if (std::filesystem::is_directory(path)) {
        *error = "is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad()) {
        *error = "read error";
        return false;
    }
    *bytes = all.str();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sts::options o;
    std::string out_dir = ".";
    std::string names = "s";
    std::string format = "auto";
    long start = 1;
    std::vector<std::string> inputs;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            for (++i; i < argc; ++i) inputs.push_back(argv[i]);
            break;
        }
        if (arg.empty() || arg[0] != '-' || arg == "-") {
            inputs.push_back(arg);
            continue;
        }
        std::string key = arg, value;
        bool has_value = false;
        const size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            key = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        auto take = [&]() {
            if (has_value) return value;
            if (i + 1 >= argc) usage_error("option '" + key + "' needs a value");
            return std::string(argv[++i]);
        };
        if (key == "-h" || key == "--help") {
            std::fputs(usage_text, stdout);
            return 0;
        } else if (key == "--version") {
            std::puts("stsimport 3.0");
            return 0;
        } else if (key == "-c" || key == "--channel") {
            o.channel = take();
        } else if (key == "-b" || key == "--bias") {
            o.bias_channel = take();
        } else if (key == "-d" || key == "--direction") {
            const std::string d = take();
            if (d == "fwd" || d == "forward") o.dir = sts::direction::forward;
            else if (d == "bwd" || d == "backward") o.dir = sts::direction::backward;
            else if (d == "mean") o.dir = sts::direction::mean;
            else usage_error("direction must be fwd, bwd or mean, not '" + d + "'");
        } else if (key == "--each-sweep") {
            o.each_sweep = true;
        } else if (key == "-o" || key == "--out") {
            out_dir = take();
        } else if (key == "-n" || key == "--names") {
            names = take();
            if (names != "s" && names != "stxt") usage_error("names must be s or stxt");
        } else if (key == "--start") {
            const std::string s = take();
            char* end = nullptr;
            start = std::strtol(s.c_str(), &end, 10);
            if (end == s.c_str() || *end != '\0' || start < 0 || start > 1000000000)
                usage_error("start must be a whole number from 0 up");
        } else if (key == "--bias-unit") {
            const std::string u = take();
            if (u == "V") o.bias_scale = 1.0;
            else if (u == "mV") o.bias_scale = 1e3;
            else usage_error("bias unit must be V or mV");
        } else if (key == "--current-unit") {
            const std::string u = take();
            if (u == "nA") o.current_scale = 1e9;
            else if (u == "pA") o.current_scale = 1e12;
            else usage_error("current unit must be nA or pA");
        } else if (key == "-f" || key == "--format") {
            format = take();
            if (format != "auto" && format != "dat" && format != "3ds" && format != "csv")
                usage_error("format must be auto, dat, 3ds or csv");
        } else {
            usage_error("unknown option '" + arg + "'");
        }
    }
    if (inputs.empty()) usage_error("no input files");

    // Every input is read and checked before anything is written.
    std::vector<sts::spectrum> spectra;
    bool incomplete = false;
    for (const auto& path : inputs) {
        std::string bytes, error, warning;
        if (!read_whole(path, &bytes, &error)) fail(path + ": " + error);
        const std::string kind = format == "auto" ? sts::detect_format(bytes) : format;
        bool ok = false;
        if (kind == "dat") ok = sts::read_nanonis_dat(path, bytes, o, &spectra, &error);
        else if (kind == "3ds") ok = sts::read_nanonis_grid(path, bytes, o, &spectra, &error, &warning);
        else if (kind == "csv") ok = sts::read_delimited(path, bytes, o, &spectra, &error);
        else error = "not a Nanonis .dat or .3ds file, nor delimited text with a header row";
        if (!ok) fail(path + ": " + error);
        if (!warning.empty()) {
            std::fprintf(stderr, "stsimport: %s: %s\n", path.c_str(), warning.c_str());
            incomplete = true;
        }
    }

    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (!std::filesystem::is_directory(out_dir)) fail(out_dir + ": cannot create the output folder");

    auto name_of = [&](size_t k) {
        const std::string number = std::to_string(start + static_cast<long>(k));
        return names == "s" ? "s" + number : "stxt" + number + "p.txt";
    };
    sts::bias_text_cache cache;
    for (size_t k = 0; k < spectra.size(); ++k) {
        std::string error;
        if (!sts::write_atomically(out_dir + "/" + name_of(k), sts::format_pairs(spectra[k], &cache),
                                   &error))
            fail(error);
    }

    std::string index = "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\n";
    for (size_t k = 0; k < spectra.size(); ++k) {
        const auto& s = spectra[k];
        auto or_dash = [](const std::string& v) { return v.empty() ? std::string("-") : v; };
        index += name_of(k) + "\t" + s.source + "\t" +
                 (s.pixel_x < 0 ? "-" : std::to_string(s.pixel_x)) + "\t" +
                 (s.pixel_y < 0 ? "-" : std::to_string(s.pixel_y)) + "\t" + or_dash(s.sweep) +
                 "\t" + s.direction + "\n";
    }
    std::string error;
    if (!sts::write_atomically(out_dir + "/stsimport-index.tsv", index, &error)) fail(error);
    return incomplete ? 1 : 0;
}
