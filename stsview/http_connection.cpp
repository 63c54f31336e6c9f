#include "stsview/http_connection.h"

namespace sts {

namespace {

// RFC 9110 5.6.2: the characters of a token (methods, header names).
bool token_char(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool is_token(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!token_char(c)) return false;
    return true;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// RFC 9110 5.5: visible characters, blanks and obs-text; no CR, LF, NUL or
// other control byte.
bool value_ok(std::string_view v) {
    for (char c : v) {
        const auto u = static_cast<unsigned char>(c);
        if (u != '\t' && (u < 0x20 || u == 0x7f)) return false;
    }
    return true;
}

// The target in origin form: '/' and then visible ASCII (a browser
// percent-encodes everything else).
bool target_ok(std::string_view t) {
    if (t.empty() || t[0] != '/') return false;
    for (char c : t)
        if (c < 0x21 || c > 0x7e) return false;
    return true;
}

// Whether a comma-separated list (Connection) names word.
bool lists(std::string_view list, std::string_view word) {
    while (!list.empty()) {
        const size_t comma = list.find(',');
        if (same_name(trim_blanks(list.substr(0, comma)), word)) return true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

// The line at *at (without its LF and a CR before it); *at moves past it.
std::string_view take_line(std::string_view text, size_t* at) {
    const size_t lf = text.find('\n', *at);
    std::string_view line = text.substr(*at, lf - *at);
    *at = lf == std::string_view::npos ? text.size() : lf + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Where the empty lines allowed before a request line end (RFC 9112 2.2).
size_t after_empty_lines(std::string_view b) {
    size_t at = 0;
    while (true) {
        if (at < b.size() && b[at] == '\n') ++at;
        else if (at + 1 < b.size() && b[at] == '\r' && b[at + 1] == '\n') at += 2;
        else return at;
    }
}

// The end of the head (just past its empty line) when it holds one,
// searching for the LF that ends the last header line from `from`.
size_t head_end(std::string_view b, size_t from) {
    for (size_t lf = b.find('\n', from); lf != std::string_view::npos; lf = b.find('\n', lf + 1)) {
        if (lf + 1 < b.size() && b[lf + 1] == '\n') return lf + 2;
        if (lf + 2 < b.size() && b[lf + 1] == '\r' && b[lf + 2] == '\n') return lf + 3;
    }
    return std::string_view::npos;
}

// "METHOD /target HTTP/1.x" into *r and *minor: 0, or the status refusing it.
int request_line(std::string_view line, http_request* r, int* minor) {
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) return 400;
    const std::string_view method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1),
                           version = line.substr(sp2 + 1);
    if (!is_token(method) || !target_ok(target)) return 400;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || !digit(version[5]) || version[6] != '.' ||
        !digit(version[7]))
        return 400;
    if (version[5] != '1') return 505;
    r->method = method;
    r->target = target;
    *minor = version[7] - '0';
    return 0;
}

// What the header lines say that matters here.
struct head_fields {
    int count = 0;
    bool host = false, length = false, body = false, close = false, keep_alive = false;
};

}  // namespace

size_t http_connection::room() const {
    return broken_ || buffer_.size() >= limits_.head_max_bytes ? 0 : limits_.head_max_bytes - buffer_.size();
}

void http_connection::feed(std::string_view bytes) { buffer_.append(bytes.substr(0, room())); }

http_step http_connection::refuse(http_refusal* why, int status, const char* message) {
    broken_ = true;
    refusal_ = {status, message};
    buffer_.clear();
    buffer_.shrink_to_fit();
    *why = refusal_;
    return http_step::refused;
}

http_step http_connection::next(http_request* r, http_refusal* why) {
    if (broken_) {
        *why = refusal_;
        return http_step::refused;
    }
    const std::string_view b = buffer_;
    const size_t start = after_empty_lines(b);
    // Past the request line's start; a few bytes back, since the empty
    // line may have begun in what was there last time.
    const size_t from = scanned_ > start ? scanned_ : start;
    const size_t end = start < b.size() ? head_end(b, from) : std::string_view::npos;
    if (end == std::string_view::npos) {
        scanned_ = b.size() >= 2 ? b.size() - 2 : 0;
        if (b.size() < limits_.head_max_bytes) return http_step::need_more;
        if (b.find('\n', start) == std::string_view::npos)
            return refuse(why, 414, "the request line is too long");
        return refuse(why, 431, "the request's headers are too long");
    }
    *r = http_request();
    const http_step step = parse_head(b.substr(start, end - start), r, why);
    if (step != http_step::request) return step;
    buffer_.erase(0, end);
    scanned_ = 0;
    return step;
}

http_step http_connection::parse_head(std::string_view head, http_request* r, http_refusal* why) {
    size_t at = 0;
    int minor = 0;
    if (const int status = request_line(take_line(head, &at), r, &minor))
        return refuse(why, status, status == 505 ? "only HTTP/1.0 and HTTP/1.1 are served"
                                                 : "a malformed request line");
    head_fields f;
    while (at < head.size()) {
        const std::string_view field = take_line(head, &at);
        if (field.empty()) break;  // the head's end
        // A line starting with a blank continues the one before (obs-fold,
        // RFC 9112 5.2): refused, as the RFC allows.
        if (field[0] == ' ' || field[0] == '\t') return refuse(why, 400, "a folded header line");
        const size_t colon = field.find(':');
        // No blank before the colon (RFC 9112 5.1): a name with one is refused.
        if (colon == std::string_view::npos || !is_token(field.substr(0, colon)))
            return refuse(why, 400, "a malformed header line");
        const std::string_view name = field.substr(0, colon), value = trim_blanks(field.substr(colon + 1));
        if (!value_ok(value)) return refuse(why, 400, "a control character in a header");
        if (++f.count > static_cast<int>(limits_.header_max_count))
            return refuse(why, 431, "too many headers");
        if (same_name(name, "Host")) {
            // Two Host headers: which one a proxy and this server would
            // each believe is not known, so neither is.
            if (f.host) return refuse(why, 400, "two Host headers");
            f.host = true;
            r->host = value;
        } else if (same_name(name, "Content-Length")) {
            if (f.length) return refuse(why, 400, "two Content-Length headers");
            f.length = true;
            if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string_view::npos)
                return refuse(why, 400, "a malformed Content-Length");
            f.body = value.find_first_not_of('0') != std::string_view::npos;
        } else if (same_name(name, "Transfer-Encoding")) {
            return refuse(why, 400, "request bodies are not taken (Transfer-Encoding)");
        } else if (same_name(name, "Connection")) {
            f.close = f.close || lists(value, "close");
            f.keep_alive = f.keep_alive || lists(value, "keep-alive");
        } else if (same_name(name, "Cookie")) {
            // Several Cookie lines are one list (RFC 6265 5.4 joins them so).
            if (!r->cookie.empty() && !value.empty()) r->cookie += "; ";
            r->cookie += value;
        }
    }
    const bool http11 = minor != 0;
    if (http11 && !f.host) return refuse(why, 400, "a request without Host");
    r->keep_alive = !f.close && (http11 || f.keep_alive);
    if (f.body) {
        // A body is never read: a GET or HEAD with one is refused; any other
        // method gets the handler's 405 and the connection closes, its body
        // unread.
        if (r->method == "GET" || r->method == "HEAD") return refuse(why, 413, "request bodies are not taken");
        r->keep_alive = false;
    }
    return http_step::request;
}

}  // namespace sts
