// One request, from its method, target and headers to the reply: the Host
// check, the token, then the page's files or the data routes.  Apart from
// the HTTP library, so that the tests and the fuzzer drive it directly.
#ifndef STSVIEW_REQUEST_HANDLER_H
#define STSVIEW_REQUEST_HANDLER_H

#include <map>
#include <string>
#include <string_view>

#include "stsview/assets.h"
#include "stsview/grid_store.h"
#include "stsview/routes.h"

namespace sts {

// Longest request target taken (the path and the query).
constexpr size_t target_max_bytes = 4096;

struct site {
    grid_store* store = nullptr;
    const std::map<std::string, asset>* assets = nullptr;
    std::string token;
    std::string extra_host;  // --host when not loopback, else ""
    int port = 0;
    // The cookie that carries the token for the page's own requests (its
    // modules cannot carry a query): one name per port.
    std::string cookie_name() const { return "stsview_" + std::to_string(port); }
};

struct request_view {
    std::string_view method, target, host, cookie;
};

reply answer(const site& s, const request_view& r);

}  // namespace sts

#endif
