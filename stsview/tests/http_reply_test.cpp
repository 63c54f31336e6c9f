// A reply's head: the headers every reply carries, its length, the cookie
// and download only when given, the close; the date format.
#include <gtest/gtest.h>

#include "stsview/http_reply.h"

namespace {

bool has_line(const std::string& head, const std::string& line) {
    return head.find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST(HttpReply, CarriesTheGuardingHeadersAndTheLength) {
    const sts::reply r{200, "application/json", std::string(1234, 'x'), "", ""};
    const std::string head = sts::reply_head(r, true, "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
    EXPECT_EQ(head.find("\r\n\r\n"), head.size() - 4);
    for (const char* line : {"Content-Type: application/json", "Content-Length: 1234", "Cache-Control: no-store",
                             "X-Content-Type-Options: nosniff", "Referrer-Policy: no-referrer",
                             "X-Frame-Options: DENY", "Date: Thu, 01 Jan 1970 00:00:00 GMT",
                             "Connection: keep-alive",
                             "Content-Security-Policy: default-src 'self'; img-src 'self' data: blob:; "
                             "style-src 'self' 'unsafe-inline'; frame-ancestors 'none'"})
        EXPECT_TRUE(has_line(head, line)) << line;
    for (const char* name : {"Set-Cookie", "Content-Disposition", "Accept-Ranges", "Content-Encoding", "Allow"})
        EXPECT_EQ(head.find(std::string("\r\n") + name + ":"), std::string::npos) << name;
}

TEST(HttpReply, CookieDownloadCloseAndRefusals) {
    const sts::reply r{200, "text/plain", "ab", "map.txt", "stsview_1=t; Path=/"};
    const std::string head = sts::reply_head(r, false, "d");
    EXPECT_TRUE(has_line(head, "Set-Cookie: stsview_1=t; Path=/"));
    EXPECT_TRUE(has_line(head, "Content-Disposition: attachment; filename=\"map.txt\""));
    EXPECT_TRUE(has_line(head, "Connection: close"));
    const sts::reply refused = sts::refusal_reply(431, "too many headers");
    EXPECT_EQ(refused.body, "{\"error\":\"too many headers\"}");
    EXPECT_EQ(sts::reply_head(refused, false, "d").rfind("HTTP/1.1 431 Request Header Fields Too Large\r\n", 0), 0u);
    const std::string not_allowed = sts::reply_head(sts::refusal_reply(405, "only GET"), true, "d");
    EXPECT_TRUE(has_line(not_allowed, "Allow: GET, HEAD"));
}

TEST(HttpReply, DatesAreImfFixdates) {
    EXPECT_EQ(sts::http_date(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(sts::http_date(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");  // RFC 9110's example
    EXPECT_EQ(sts::http_date(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
}

}  // namespace
