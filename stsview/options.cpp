#include "stsview/options.h"

#include "options/option_table.h"

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

bool parse_port_value(const std::string& value, view_options* o, std::string* error) {
    if (parse_port(value, &o->port)) return true;
    *error = "--port must be a number from 0 to 65535 (0: a free port), not '" + value + "'";
    return false;
}

// The options, each once: its names, value, lines of --help and parse.
const option_table<view_options>& view_option_table() {
    static const option_table<view_options> table = {
        {{"-o", "--output"}, true,
         {"  -o, --output FILE  the netCDF file of the one computed grid"},
         [](const std::string& v, view_options* o, std::string* e) {
             if (v.empty()) *e = "-o needs a file name";
             else o->output = v;
             return e->empty();
         }},
        {{"--port"}, true, {"  --port N     listen on port N (default 0: a free port)"},
         parse_port_value},
        {{"--host"}, true,
         {"  --host H     listen on address H instead of 127.0.0.1 (other machines can",
          "               then reach the page; the token still guards it)"},
         [](const std::string& v, view_options* o, std::string* e) {
             if (v.empty()) *e = "--host needs an address";
             else o->host = v;
             return e->empty();
         }},
        {{"--open"}, false, {"  --open       open the page in the desktop's browser (xdg-open)"},
         [](const std::string&, view_options* o, std::string*) {
             o->open = true;
             return true;
         }},
        {{"--assets"}, true,
         {"  --assets DIR the page's files from DIR (default: the installed ones)"},
         [](const std::string& v, view_options* o, std::string*) {
             o->assets = v;
             return true;
         }},
        {{"-h", "--help"}, false, {"  -h, --help   this text"}, nullptr},
        {{"--version"}, false, {"  --version    the version"}, nullptr},
    };
    return table;
}

// The row arg names, as "--key", or as "--key=value" (*value) for one
// that takes a value; nullptr when none does.
const option_row<view_options>* row_of(const std::string& arg, std::string* name,
                                       std::string* value, bool* inline_value) {
    for (const option_row<view_options>& row : view_option_table())
        for (const std::string& n : row.names) {
            *name = n;
            *inline_value = row.takes_value && arg.rfind(n + "=", 0) == 0;
            if (*inline_value) *value = arg.substr(n.size() + 1);
            if (arg == n || *inline_value) return &row;
        }
    return nullptr;
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
        std::string name, value;
        bool inline_value = false;
        const option_row<view_options>* row = row_of(arg, &name, &value, &inline_value);
        if (!row) {
            *error = "unknown option '" + arg + "'";
            return view_parse::error;
        }
        if (!row->parse) return name == "--version" ? view_parse::version : view_parse::help;
        if (row->takes_value && !inline_value) {
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return view_parse::error;
            }
            value = argv[++i];
        }
        if (!row->parse(value, o, error)) return view_parse::error;
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
           "\n" +
           options_help(view_option_table()) +
           "\n"
           "stsview prints the page's URL, which carries a random token: only requests with\n"
           "it are answered.  Ctrl-C stops the server.\n"
           "Exit status: 0 stopped by Ctrl-C or SIGTERM, 1 a file or the address could not\n"
           "be used, 2 a wrong command line.\n";
}

}  // namespace sts
