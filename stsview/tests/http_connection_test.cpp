// The request-head parser: heads split anywhere and pipelined, the limits
// on bytes and headers, what is refused (two Host headers, bodies, folded
// or malformed lines) and what is ignored (Range).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "stsview/http_connection.h"

namespace {

using sts::http_connection;
using sts::http_refusal;
using sts::http_request;
using sts::http_step;

struct outcome {
    std::vector<http_request> requests;
    int refused = 0;  // the status, or 0
};

// Feeds text in pieces of `piece` bytes (0: all at once), taking every
// request as soon as it is whole.
outcome run(const std::string& text, size_t piece = 0, sts::http_limits limits = {}) {
    http_connection c(limits);
    outcome o;
    size_t at = 0;
    while (true) {
        http_request r;
        http_refusal why;
        const http_step step = c.next(&r, &why);
        if (step == http_step::request) {
            o.requests.push_back(r);
            continue;
        }
        if (step == http_step::refused) {
            o.refused = why.status;
            EXPECT_FALSE(why.message.empty());
            return o;
        }
        if (at == text.size()) return o;
        const size_t n = std::min({piece == 0 ? text.size() : piece, text.size() - at, c.room()});
        if (n == 0) return o;  // full: next() must have refused
        c.feed(std::string_view(text).substr(at, n));
        at += n;
    }
}

int status_of(const std::string& head) { return run(head).refused; }

const std::string host = "Host: 127.0.0.1:8123\r\n";

TEST(HttpHead, TakesAGetWithItsHostAndCookie) {
    const outcome o = run("GET /api/files?token=abc HTTP/1.1\r\n" + host +
                          "Cookie: a=1\r\nUser-Agent: x\r\ncookie: stsview_1=t\r\nCookie:\r\n\r\n");
    ASSERT_EQ(o.requests.size(), 1u);
    EXPECT_EQ(o.refused, 0);
    const http_request& r = o.requests[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/api/files?token=abc");
    EXPECT_EQ(r.host, "127.0.0.1:8123");
    EXPECT_EQ(r.cookie, "a=1; stsview_1=t");  // two Cookie lines are one list
    EXPECT_TRUE(r.keep_alive);
}

TEST(HttpHead, LineEndsAndKeepAlive) {
    // Bare LF ends lines too; blanks around a value are not part of it.
    outcome o = run("HEAD / HTTP/1.1\nHost:   localhost:1 \t\n\n");
    ASSERT_EQ(o.requests.size(), 1u);
    EXPECT_EQ(o.requests[0].method, "HEAD");
    EXPECT_EQ(o.requests[0].host, "localhost:1");
    // HTTP/1.0 closes unless asked; 1.1 keeps unless asked.
    o = run("GET / HTTP/1.0\r\n\r\nGET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n"
            "GET / HTTP/1.1\r\n" + host + "Connection: foo, close\r\n\r\n");
    ASSERT_EQ(o.requests.size(), 3u);
    EXPECT_FALSE(o.requests[0].keep_alive);
    EXPECT_EQ(o.requests[0].host, "");  // 1.0 may leave Host out; the handler refuses it
    EXPECT_TRUE(o.requests[1].keep_alive);
    EXPECT_FALSE(o.requests[2].keep_alive);
    // Empty lines before a request line are passed over (RFC 9112 2.2).
    o = run("\r\n\nGET /x HTTP/1.1\r\n" + host + "\r\n");
    ASSERT_EQ(o.requests.size(), 1u);
    EXPECT_EQ(o.requests[0].target, "/x");
}

TEST(HttpHead, PipelinedRequestsSplitAnywhereComeOutInOrder) {
    const std::string text = "GET /a HTTP/1.1\r\n" + host + "\r\n" + "HEAD /b HTTP/1.1\n" + host + "\n" +
                             "GET /c?d=e HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n";
    const auto check = [](const outcome& o, const std::string& how) {
        ASSERT_EQ(o.requests.size(), 3u) << how;
        EXPECT_EQ(o.refused, 0) << how;
        EXPECT_EQ(o.requests[0].target, "/a") << how;
        EXPECT_EQ(o.requests[1].method, "HEAD") << how;
        EXPECT_EQ(o.requests[1].target, "/b") << how;
        EXPECT_EQ(o.requests[2].target, "/c?d=e") << how;
        EXPECT_FALSE(o.requests[2].keep_alive) << how;
    };
    for (size_t piece : {1, 2, 3, 5, 7, 16, 64}) check(run(text, piece), "pieces of " + std::to_string(piece));
    // Two pieces, split at every byte.
    for (size_t split = 0; split <= text.size(); ++split) {
        http_connection c;
        outcome o;
        for (const std::string& part : std::vector<std::string>{text.substr(0, split), text.substr(split)}) {
            c.feed(part);
            http_request r;
            http_refusal why;
            while (c.next(&r, &why) == http_step::request) o.requests.push_back(r);
        }
        check(o, "split at " + std::to_string(split));
        EXPECT_FALSE(c.partial());
    }
}

TEST(HttpHead, TheWholeHeadIsBoundedInBytes) {
    const std::string line = "GET / HTTP/1.1\r\n" + host;
    // 16 KiB with the empty line: taken; one byte more: refused.
    const size_t pad = 16 * 1024 - line.size() - std::string("X: \r\n\r\n").size();
    EXPECT_EQ(run(line + "X: " + std::string(pad, 'a') + "\r\n\r\n").requests.size(), 1u);
    EXPECT_EQ(status_of(line + "X: " + std::string(pad + 1, 'a') + "\r\n\r\n"), 431);
    // Many short lines, each far under any per-line limit, add up.
    std::string flood = line;
    while (flood.size() < 100000) flood += "X-Flood: " + std::string(89, 'f') + "\r\n";
    http_connection c;
    size_t fed = 0;
    for (size_t at = 0; at < flood.size() && c.room() > 0; at += 100) {
        const size_t before = c.room();
        c.feed(std::string_view(flood).substr(at, 100));
        fed += before - c.room();
    }
    EXPECT_LE(fed, 16u * 1024);  // never more than the limit held
    http_request r;
    http_refusal why;
    EXPECT_EQ(c.next(&r, &why), http_step::refused);
    EXPECT_EQ(why.status, 431);
    EXPECT_EQ(c.room(), 0u);
    EXPECT_EQ(c.next(&r, &why), http_step::refused);  // and stays refused
    // A request line without its end.
    EXPECT_EQ(status_of("GET /" + std::string(20000, 'a')), 414);
    // A smaller limit holds as well.
    ASSERT_EQ(line.size() + 2, 40u);
    EXPECT_EQ(run(line + "\r\n", 0, {40, 64}).requests.size(), 1u);
    EXPECT_EQ(run(line + "\r\n", 0, {39, 64}).refused, 431);
    EXPECT_EQ(run(line + "X: y\r\n\r\n", 0, {1024, 1}).refused, 431);
}

TEST(HttpHead, TheHeadersAreBoundedInCount) {
    std::string head = "GET / HTTP/1.1\r\n" + host;
    for (int i = 1; i < 64; ++i) head += "X-" + std::to_string(i) + ": v\r\n";
    EXPECT_EQ(run(head + "\r\n").requests.size(), 1u);  // 64 with Host
    EXPECT_EQ(status_of(head + "X-65: v\r\n\r\n"), 431);
}

TEST(HttpHead, TwoHostsAndBodiesAreRefused) {
    EXPECT_EQ(status_of("GET / HTTP/1.1\r\n" + host + "Host: evil.example:8123\r\n\r\n"), 400);
    EXPECT_EQ(status_of("GET / HTTP/1.1\r\n" + host + "host: 127.0.0.1:8123\r\n\r\n"), 400);
    EXPECT_EQ(status_of("GET / HTTP/1.1\r\n\r\n"), 400);  // 1.1 without Host
    EXPECT_EQ(status_of("GET / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n"), 400);
    EXPECT_EQ(status_of("GET / HTTP/1.1\r\n" + host + "Content-Length: 5\r\n\r\nabcde"), 413);
    EXPECT_EQ(status_of("GET / HTTP/1.1\r\n" + host + "Content-Length: 0\r\nContent-Length: 0\r\n\r\n"), 400);
    for (const char* bad : {"", "-1", "1 2", "0x10", "+5", "1234567890123456789"})
        EXPECT_EQ(status_of("GET / HTTP/1.1\r\n" + host + "Content-Length: " + bad + "\r\n\r\n"), 400) << bad;
    // An empty body is none.
    EXPECT_EQ(run("GET / HTTP/1.1\r\n" + host + "Content-Length: 000\r\n\r\n").requests.size(), 1u);
    // Another method with a body goes to the handler (its 405), then the
    // connection closes with the body unread.
    const outcome o = run("POST / HTTP/1.1\r\n" + host + "Content-Length: 5\r\n\r\nGET /smuggled HTTP/1.1\r\n");
    ASSERT_EQ(o.requests.size(), 1u);
    EXPECT_EQ(o.requests[0].method, "POST");
    EXPECT_FALSE(o.requests[0].keep_alive);
}

TEST(HttpHead, RangeAndOtherHeadersAreIgnored) {
    const outcome o = run("GET /api/map HTTP/1.1\r\n" + host +
                          "Range: bytes=0-3\r\nIf-Range: x\r\nAccept-Encoding: br, gzip\r\n"
                          "X-Utf8: \xc3\xa9t\xc3\xa9\r\n\r\n");
    ASSERT_EQ(o.requests.size(), 1u);
    EXPECT_EQ(o.requests[0].target, "/api/map");
}

TEST(HttpHead, MalformedLinesAreRefused) {
    const std::string ok_line = "GET / HTTP/1.1\r\n";
    const std::vector<std::string> lines = {
        "GET /  HTTP/1.1", "GET / HTTP/1.1 ", "GET /", "GET", " GET / HTTP/1.1", "GET / http/1.1", "GET / HTTP/1",
        "GET / HTTP/1.1x", "GET x HTTP/1.1", "GET http://127.0.0.1:8123/ HTTP/1.1", "GET * HTTP/1.1",
        "G(T / HTTP/1.1", "GET /a\rb HTTP/1.1", "GET /\x01 HTTP/1.1", "GET /\xc3\xa9 HTTP/1.1"};
    for (const std::string& line : lines)
        EXPECT_EQ(status_of(line + "\r\n" + host + "\r\n"), 400) << line;
    EXPECT_EQ(status_of("GET / HTTP/2.0\r\n" + host + "\r\n"), 505);
    EXPECT_EQ(status_of("GET / HTTP/0.9\r\n" + host + "\r\n"), 505);
    const std::vector<std::string> fields = {"NoColon", "Host : 127.0.0.1:8123", ": empty name",
                                             "X(y): z", "X: a\rb", "X: a\x7f", std::string("X: a\0b", 6),
                                             "X:\x1b[31m"};
    for (const std::string& field : fields)
        EXPECT_EQ(status_of(ok_line + host + field + "\r\n\r\n"), 400) << field;
    // A folded line (obs-fold) is refused, not joined to the one before.
    EXPECT_EQ(status_of(ok_line + host + "X: a\r\n b\r\n\r\n"), 400);
    EXPECT_EQ(status_of(ok_line + "Host: 127.0.0.1:8123\r\n\tevil.example\r\n\r\n"), 400);
}

}  // namespace
