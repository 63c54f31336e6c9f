#include "stsview/http_reply.h"

#include <cstdio>

#include "stsview/json_text.h"

namespace sts {

namespace {

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 413: return "Content Too Large";
        case 414: return "URI Too Long";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        case 505: return "HTTP Version Not Supported";
        default: return status < 300 ? "OK" : status < 500 ? "Bad Request" : "Internal Server Error";
    }
}

void header(std::string* out, std::string_view name, std::string_view value) {
    out->append(name);
    out->append(": ");
    out->append(value);
    out->append("\r\n");
}

}  // namespace

std::string reply_head(const reply& r, bool keep_alive, std::string_view date) {
    std::string out = "HTTP/1.1 " + std::to_string(r.status) + " " + reason(r.status) + "\r\n";
    header(&out, "Date", date);
    header(&out, "Content-Type", r.type);
    header(&out, "Content-Length", std::to_string(r.body.size()));
    header(&out, "Cache-Control", "no-store");
    header(&out, "X-Content-Type-Options", "nosniff");
    header(&out, "Referrer-Policy", "no-referrer");
    header(&out, "X-Frame-Options", "DENY");
    header(&out, "Content-Security-Policy",
           "default-src 'self'; img-src 'self' data: blob:; style-src 'self' 'unsafe-inline'; "
           "frame-ancestors 'none'");
    if (!r.cookie.empty()) header(&out, "Set-Cookie", r.cookie);
    if (!r.download.empty()) header(&out, "Content-Disposition", "attachment; filename=\"" + r.download + "\"");
    if (r.status == 405) header(&out, "Allow", "GET, HEAD");  // RFC 9110 15.5.6
    header(&out, "Connection", keep_alive ? "keep-alive" : "close");
    out.append("\r\n");
    return out;
}

std::string http_date(std::time_t t) {
    std::tm parts{};
    gmtime_r(&t, &parts);
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[parts.tm_wday], parts.tm_mday,
                  months[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

reply refusal_reply(int status, std::string_view message) {
    return {status, "application/json", json_error(message), "", ""};
}

}  // namespace sts
