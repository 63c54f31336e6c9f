// Who may ask: the token that the printed URL carries, and the Host header
// (a page on another site that resolves its own name to 127.0.0.1, DNS
// rebinding, sends its own name as Host and is refused).
#ifndef STSVIEW_ACCESS_H
#define STSVIEW_ACCESS_H

#include <string>
#include <string_view>

namespace sts {

// 32 random bytes from the kernel (getrandom) as 64 hexadecimal digits;
// false with *error when the kernel gives none.
bool make_token(std::string* token, std::string* error);

// a == b, in a time that depends on their lengths only.
bool same_token(std::string_view a, std::string_view b);

// True when host (a Host header's value) names the loopback address
// (127.0.0.1, localhost, [::1]) or extra_host (the --host given; "" for
// none), with the port the server listens on.
bool host_allowed(std::string_view host, std::string_view extra_host, int port);

// The token carried by a Cookie header's value under name, or "".
std::string cookie_value(std::string_view header, std::string_view name);

}  // namespace sts

#endif
