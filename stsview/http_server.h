// The HTTP server's sockets: one thread runs an event loop (epoll over
// non-blocking sockets) that reads request heads into http_connection,
// hands whole requests to a few worker threads and writes their replies
// back, so that idle, slow or hostile connections cost a few KiB each and
// no thread.  Everything before the handler is bounded: the head's bytes
// and headers (http_limits), the time from a head's first byte to its end,
// the time a kept-alive connection may sit idle, the time to take a reply,
// the open connections (at the cap the one idle longest is closed first).
// Each connection has one request in the workers at a time, so pipelined
// requests are answered in order.
#ifndef STSVIEW_HTTP_SERVER_H
#define STSVIEW_HTTP_SERVER_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "stsview/http_connection.h"
#include "stsview/routes.h"

namespace sts {

struct http_server_limits {
    http_limits head;
    std::chrono::milliseconds head_time{5000};   // from a head's first byte to its empty line
    std::chrono::milliseconds idle_time{5000};   // a kept-alive connection without a request
    std::chrono::milliseconds reply_time{30000};  // to take a whole reply
    size_t max_connections = 512;  // lowered to fit the process's limit of open files
    int workers = 32;
};

class http_server {
public:
    using handler = std::function<reply(const http_request&)>;

    explicit http_server(http_server_limits limits = {});
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    // Listens on host:port (0: a free one); false with *error.
    bool bind(const std::string& host, int port, std::string* error);
    int port() const;
    // Serves until stop() (from any thread, before or during run); then
    // closes every connection and joins the workers.  false with *error
    // when the loop cannot run.
    bool run(const handler& h, std::string* error);
    void stop();

private:
    struct loop;
    std::unique_ptr<loop> loop_;
};

}  // namespace sts

#endif
