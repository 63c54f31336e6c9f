// stsview's command line.
#ifndef STSVIEW_OPTIONS_H
#define STSVIEW_OPTIONS_H

#include <string>
#include <vector>

namespace sts {

struct view_options {
    std::vector<std::string> files;
    std::string host = "127.0.0.1";
    int port = 0;             // 0: a free port
    bool open = false;        // start the desktop's browser
    std::string assets;       // the page's folder, "" = the installed one
    std::string output;       // -o: the file of a grid computed from another input
};

enum class view_parse { run, help, version, error };

// Parses argv; on error *error says what is wrong.
view_parse parse_view_options(int argc, char** argv, view_options* o, std::string* error);

std::string view_usage();

// True for the loopback names, for which no warning is due.
bool loopback_host(const std::string& host);

}  // namespace sts

#endif
