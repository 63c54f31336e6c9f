#include "stsview/access.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace sts {

bool make_token(std::string* token, std::string* error) {
    unsigned char bytes[32];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = std::string("no random bytes from the kernel: ") + std::strerror(errno);
            return false;
        }
        got += static_cast<size_t>(n);
    }
    static const char digits[] = "0123456789abcdef";
    token->clear();
    for (unsigned char b : bytes) {
        token->push_back(digits[b >> 4]);
        token->push_back(digits[b & 15]);
    }
    return true;
}

bool same_token(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Every byte is looked at whatever the first difference: the time says
    // nothing about how much of a guess was right.
    volatile unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i)
        difference = static_cast<unsigned char>(difference | (static_cast<unsigned char>(a[i]) ^
                                                              static_cast<unsigned char>(b[i])));
    return difference == 0;
}

namespace {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

bool host_allowed(std::string_view host, std::string_view extra_host, int port) {
    const size_t colon = host.rfind(':');
    if (colon == std::string_view::npos || host.find(']', colon) != std::string_view::npos)
        return false;  // the port is part of what a browser sends for a port other than 80
    if (host.substr(colon + 1) != std::to_string(port)) return false;
    const std::string_view name = host.substr(0, colon);
    return name == "127.0.0.1" || equal_ignoring_case(name, "localhost") || name == "[::1]" ||
           (!extra_host.empty() && equal_ignoring_case(name, extra_host));
}

std::string cookie_value(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const size_t semicolon = header.find(';');
        std::string_view part = header.substr(0, semicolon);
        header = semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        const size_t eq = part.find('=');
        if (eq != std::string_view::npos && part.substr(0, eq) == name)
            return std::string(part.substr(eq + 1));
    }
    return "";
}

}  // namespace sts
