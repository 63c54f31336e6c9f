#include "stsview/options.h"

namespace sts {

bool loopback_host(const std::string& host) {
    return host == "127.0.0.1" || host == "localhost" || host == "::1";
}

namespace {

bool parse_port(const std::string& text, int* port) {
    if (text.empty() || text.size() > 5) return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n > 65535) return false;
    *port = n;
    return true;
}

// --key=value or --key value; false with *error when the value is missing.
bool value_of(int argc, char** argv, int* i, const std::string& arg, const std::string& key,
              std::string* value, bool* matched, std::string* error) {
    *matched = false;
    if (arg == key) {
        if (*i + 1 >= argc) {
            *error = key + " needs a value";
            return false;
        }
        *value = argv[++*i];
        *matched = true;
    } else if (arg.rfind(key + "=", 0) == 0) {
        *value = arg.substr(key.size() + 1);
        *matched = true;
    }
    return true;
}

}  // namespace

view_parse parse_view_options(int argc, char** argv, view_options* o, std::string* error) {
    bool only_files = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
            o->files.push_back(arg);
            continue;
        }
        if (arg == "--") { only_files = true; continue; }
        if (arg == "-h" || arg == "--help") return view_parse::help;
        if (arg == "--version") return view_parse::version;
        if (arg == "--open") { o->open = true; continue; }
        std::string value;
        bool matched = false;
        if (!value_of(argc, argv, &i, arg, "--port", &value, &matched, error)) return view_parse::error;
        if (matched) {
            if (!parse_port(value, &o->port)) {
                *error = "--port must be a number from 0 to 65535 (0: a free port), not '" + value + "'";
                return view_parse::error;
            }
            continue;
        }
        if (!value_of(argc, argv, &i, arg, "--host", &value, &matched, error)) return view_parse::error;
        if (matched) {
            if (value.empty()) { *error = "--host needs an address"; return view_parse::error; }
            o->host = value;
            continue;
        }
        if (!value_of(argc, argv, &i, arg, "--assets", &value, &matched, error)) return view_parse::error;
        if (matched) { o->assets = value; continue; }
        for (const char* key : {"-o", "--output"}) {
            if (!matched && !value_of(argc, argv, &i, arg, key, &value, &matched, error))
                return view_parse::error;
        }
        if (matched) {
            if (value.empty()) { *error = "-o needs a file name"; return view_parse::error; }
            o->output = value;
            continue;
        }
        *error = "unknown option '" + arg + "'";
        return view_parse::error;
    }
    if (o->files.empty()) {
        *error = "no file named: give the grid's netCDF file (or any input stsgrid takes)";
        return view_parse::error;
    }
    return view_parse::run;
}

std::string view_usage() {
    return "Usage: stsview [OPTION]... FILE...\n"
           "Shows grids of spectra in the browser: a map at any bias, a pixel's curve on a\n"
           "click, the mean of a dragged region, line cuts, text and PNG exports.\n"
           "FILE is a netCDF file written by stsgrid, or any input stsgrid takes: that is\n"
           "computed first with stsgrid's default settings, into the file -o names, else\n"
           "into a cache ($XDG_CACHE_HOME/stsview, or ~/.cache/stsview) where it is kept\n"
           "for the next time.  A <name>.nc beside the input is shown instead when it is\n"
           "stsgrid's default run of that input; a file stsview did not make is never\n"
           "replaced.\n"
           "\n"
           "  -o, --output FILE  the netCDF file of the one computed grid\n"
           "  --port N     listen on port N (default 0: a free port)\n"
           "  --host H     listen on address H instead of 127.0.0.1 (other machines can\n"
           "               then reach the page; the token still guards it)\n"
           "  --open       open the page in the desktop's browser (xdg-open)\n"
           "  --assets DIR the page's files from DIR (default: the installed ones)\n"
           "  -h, --help   this text\n"
           "  --version    the version\n"
           "\n"
           "stsview prints the page's URL, which carries a random token: only requests with\n"
           "it are answered.  Ctrl-C stops the server.\n"
           "Exit status: 0 stopped by Ctrl-C or SIGTERM, 1 a file or the address could not\n"
           "be used, 2 a wrong command line.\n";
}

}  // namespace sts
