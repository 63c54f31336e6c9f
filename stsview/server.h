// The HTTP server (our own, stsview/http_server.h): binds, prints the URL, serves
// until SIGINT or SIGTERM, then stops cleanly.
#ifndef STSVIEW_SERVER_H
#define STSVIEW_SERVER_H

#include <functional>
#include <string>

#include "stsview/request_handler.h"

namespace sts {

struct server_settings {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: a free one
};

// Binds host:port (s.port is set to the port bound), calls listening(port)
// and serves until a signal stops it.  false with *error when the address
// cannot be bound (or the server's event loop cannot start).  Call with
// SIGINT and SIGTERM blocked in every thread (block_stop_signals, before
// any thread starts): the workers inherit the mask.
bool serve(site& s, const server_settings& settings, const std::function<void(int)>& listening,
           std::string* error);

// Blocks SIGINT and SIGTERM in the calling thread and the threads it
// starts later: one thread of serve() waits for them.
void block_stop_signals();

}  // namespace sts

#endif
