// stsview: grids of spectra in the browser, from one command.
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <thread>

#include "sts/version.h"
#include "stsview/access.h"
#include "stsview/assets.h"
#include "stsview/grid_inputs.h"
#include "stsview/grid_store.h"
#include "stsview/options.h"
#include "stsview/server.h"

extern char** environ;

namespace sts {
namespace {

constexpr int EXIT_INPUT = 1;  // a file, the page's files or the address could not be used
constexpr int EXIT_USAGE = 2;  // a wrong command line

int failure(const std::string& message) {
    std::fprintf(stderr, "stsview: %s\n", message.c_str());
    return EXIT_INPUT;
}

// The desktop's browser on url, not waited for.
void open_browser(const std::string& url) {
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(url.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0)
        std::fprintf(stderr, "stsview: cannot run xdg-open; open the URL above by hand\n");
}

std::string url_host(const std::string& host) {
    if (host == "localhost" || host == "127.0.0.1") return "127.0.0.1";
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// Memory that stays flat however many requests come: buffers of a reply
// or of a variable's copy (above 256 KiB) are mapped and given back whole
// when freed (glibc would otherwise raise the threshold after the first
// free and keep them in its heaps), and the request threads share a few
// heaps rather than one each.
void bound_heap() {
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_ARENA_MAX, 4);
}

int run(int argc, char** argv) {
    bound_heap();
    view_options o;
    std::string error;
    switch (parse_view_options(argc, argv, &o, &error)) {
        case view_parse::help: std::fputs(view_usage().c_str(), stdout); return 0;
        case view_parse::version: std::printf("stsview %s\n", STS_VERSION); return 0;
        case view_parse::error:
            std::fprintf(stderr, "stsview: %s\nTry 'stsview --help' for more information.\n", error.c_str());
            return EXIT_USAGE;
        case view_parse::run: break;
    }
    std::vector<std::string> files;
    grid_store store;
    std::map<std::string, asset> assets;
    site s;
    std::vector<std::string> notes;
    const bool prepared = netcdf_files(o.files, {o.output, ""}, &files, &notes, &error);
    for (const auto& note : notes) std::fprintf(stderr, "stsview: %s\n", note.c_str());
    if (!prepared || !store.open(files, &error) ||
        !load_assets(asset_folder(o.assets), &assets, &error) || !make_token(&s.token, &error))
        return failure(error);
    s.store = &store;
    s.assets = &assets;
    if (!loopback_host(o.host)) {
        s.extra_host = o.host;
        std::fprintf(stderr, "stsview: warning: listening on %s: other machines can reach the page "
                     "(the token still guards it)\n", o.host.c_str());
    }
    block_stop_signals();
    std::thread warming;
    const auto listening = [&](int port) {
        // The page opens on didv of the first file: its copy is made while
        // the browser starts.
        warming = std::thread([&store] { store.warm(0, "didv"); });
        const std::string url = "http://" + url_host(o.host) + ":" + std::to_string(port) + "/?token=" + s.token;
        std::printf("%s\n", url.c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "stsview: serving %zu file%s; Ctrl-C stops\n", files.size(),
                     files.size() == 1 ? "" : "s");
        if (o.open) open_browser(url);
    };
    const bool served = serve(s, {o.host, o.port}, listening, &error);
    if (warming.joinable()) warming.join();
    if (!served) return failure(error);
    std::fprintf(stderr, "stsview: stopped\n");
    return 0;
}

}  // namespace
}  // namespace sts

int main(int argc, char** argv) { return sts::run(argc, argv); }
