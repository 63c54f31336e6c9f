// The HTTP glue.  Limits: a request line and headers of at most 8 KiB
// each (the library's), no body (GET only: 1 KiB at most is read), a
// target of at most 4 KiB, 5 s to read a request.  64 threads: a
// keep-alive connection holds its thread, and the page with a few tabs, or
// the load test's 64 clients, must not wait for another's to close.
#include "stsview/server.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <thread>

namespace sts {

void block_stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

namespace {

void send(const reply& r, httplib::Response& res) {
    res.status = r.status;
    res.set_content(r.body, r.type);
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; img-src 'self' data: blob:; style-src 'self' 'unsafe-inline'; "
                   "frame-ancestors 'none'");
    if (!r.cookie.empty()) res.set_header("Set-Cookie", r.cookie);
    if (!r.download.empty())
        res.set_header("Content-Disposition", "attachment; filename=\"" + r.download + "\"");
}

}  // namespace

bool serve(site& s, const server_settings& settings, const std::function<void(int)>& listening,
           std::string* error) {
    httplib::Server svr;
    svr.new_task_queue = [] { return new httplib::ThreadPool(64); };
    svr.set_payload_max_length(1024);
    svr.set_read_timeout(5, 0);
    svr.set_write_timeout(5, 0);
    svr.set_keep_alive_timeout(2);
    svr.set_keep_alive_max_count(100);
    // Headers and body go out in separate writes: without this, delayed
    // acknowledgement holds each reply back by up to 40 ms.
    svr.set_tcp_nodelay(true);
    // SO_REUSEADDR alone: the library's default adds SO_REUSEPORT, with
    // which a second server (another stsview of the same user) would share
    // a port given with --port and get half of its requests.
    svr.set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    const auto handle = [&s](const httplib::Request& req, httplib::Response& res) {
        // No compressed replies: Debian's library is built with brotli and
        // gzip, and brotli takes seconds over a 600 KB map that loopback
        // carries in a millisecond.  The library decides after the handler,
        // from the request's Accept-Encoding, and has no switch for it; the
        // request is the library's own non-const object, handed over const.
        const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
        const std::string host = req.get_header_value("Host");
        const std::string cookie = req.get_header_value("Cookie");
        send(answer(s, {req.method, req.target, host, cookie}), res);
    };
    svr.Get(".*", handle);
    svr.Post(".*", handle);
    svr.Put(".*", handle);
    svr.Patch(".*", handle);
    svr.Delete(".*", handle);
    svr.Options(".*", handle);
    svr.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        send({500, "application/json", "{\"error\":\"internal error\"}", "", ""}, res);
    });

    const int port = settings.port == 0 ? svr.bind_to_any_port(settings.host)
                                        : (svr.bind_to_port(settings.host, settings.port) ? settings.port : -1);
    if (port <= 0) {
        *error = "cannot listen on " + settings.host + ":" + std::to_string(settings.port) +
                 " (is the port taken? choose another with --port, or 0 for a free one)";
        return false;
    }
    s.port = port;
    // The signal thread: SIGINT or SIGTERM stops the server; serve() wakes
    // it with SIGTERM when the server ended otherwise.
    std::thread signals([&svr] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        int which = 0;
        sigwait(&set, &which);
        svr.stop();
    });
    listening(port);
    svr.listen_after_bind();
    pthread_kill(signals.native_handle(), SIGTERM);
    signals.join();
    return true;
}

}  // namespace sts
