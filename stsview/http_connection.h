// One HTTP/1.x connection's incoming side as a pure object: bytes in, whole
// request heads out, in order, under fixed limits.  No sockets and no
// clocks (the server keeps the deadlines), so that the tests and the fuzzer
// drive it byte by byte.  What it takes (RFC 9112, narrowed to this server):
// an origin-form GET or HEAD (or another method, which the handler refuses),
// lines ended by CRLF or LF, one Host, no body; what it does not take it
// refuses with a status, after which the connection is closed.
#ifndef STSVIEW_HTTP_CONNECTION_H
#define STSVIEW_HTTP_CONNECTION_H

#include <cstddef>
#include <string>
#include <string_view>

namespace sts {

struct http_limits {
    // The whole head (request line, header lines, line ends and the empty
    // line after them, and any empty lines before the request line).
    size_t head_max_bytes = 16 * 1024;
    size_t header_max_count = 64;
};

struct http_request {
    std::string method, target, host, cookie;
    bool keep_alive = true;  // false: the reply carries Connection: close
};

// A request the server does not take: the status and the reason (sent as
// the reply's message), the connection closed after it.
struct http_refusal {
    int status = 400;
    std::string message;
};

enum class http_step { need_more, request, refused };

class http_connection {
public:
    explicit http_connection(http_limits limits = {}) : limits_(limits) {}

    // How many more bytes are taken now: the server reads no more than this.
    // The buffer never holds more than head_max_bytes, pipelined or not.
    size_t room() const;
    // Appends bytes (at most room(); the rest is dropped).
    void feed(std::string_view bytes);
    // The next whole request head in the buffer, taken out of it (*r), or
    // need_more, or refused (*why; every later call refuses again).
    http_step next(http_request* r, http_refusal* why);
    // True when some bytes of a head not yet complete are buffered.
    bool partial() const { return !buffer_.empty(); }

private:
    http_step refuse(http_refusal* why, int status, const char* message);
    http_step parse_head(std::string_view head, http_request* r, http_refusal* why);

    http_limits limits_;
    std::string buffer_;
    size_t scanned_ = 0;  // no head ends before this offset
    bool broken_ = false;
    http_refusal refusal_;
};

}  // namespace sts

#endif
