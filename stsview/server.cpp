// The HTTP glue: stsview's own server (stsview/http_server.h) with its
// limits, answering through answer(); a thread waits for the stop signals.
// The limits: a request head of at most 16 KiB and 64 headers, read within
// 5 s of its first byte; a kept-alive connection idle for 5 s is closed;
// 512 connections at most (the one idle longest closed for a new one); no
// body; a target of at most 4 KiB (answer()'s).  32 workers answer, and
// the sockets cost them nothing: a few hundred idle or slow connections
// hold none.  Why 32 and not a few: the store's lock serialises the file
// reads while the replies' text is written beside it, and quick requests
// (a refusal, the page's files) pass slow ones; on the load test's 64
// clients 2 workers gave 0.6 of the requests a second that 32 gave, 8
// gave 0.7-0.9.
#include "stsview/server.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

#include "stsview/http_server.h"

namespace sts {

void block_stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool serve(site& s, const server_settings& settings, const std::function<void(int)>& listening,
           std::string* error) {
    http_server server;
    std::string why;
    if (!server.bind(settings.host, settings.port, &why)) {
        *error = "cannot listen on " + settings.host + ":" + std::to_string(settings.port) +
                 " (is the port taken? choose another with --port, or 0 for a free one)";
        return false;
    }
    s.port = server.port();
    // The signal thread: SIGINT or SIGTERM stops the server; serve() wakes
    // it with SIGTERM when the server ended otherwise.
    std::thread signals([&server] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        int which = 0;
        sigwait(&set, &which);
        server.stop();
    });
    listening(s.port);
    const site& answering = s;
    const bool served = server.run(
        [&answering](const http_request& r) {
            return answer(answering, {r.method, r.target, r.host, r.cookie});
        },
        error);
    pthread_kill(signals.native_handle(), SIGTERM);
    signals.join();
    return served;
}

}  // namespace sts
