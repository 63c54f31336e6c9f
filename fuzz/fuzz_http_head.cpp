// stsview's request-head parser on arbitrary bytes: the first two bytes
// choose the limits and the size of the pieces the rest arrives in.  The
// requests and the refusal are the same whether the bytes come whole or in
// pieces (pipelined heads split anywhere), a full buffer without a head's
// end is refused, and every request taken is well formed: a token method, an
// origin-form target, and no line break in a value.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "stsview/http_connection.h"

using namespace sts;

namespace {

struct outcome {
    std::vector<http_request> requests;
    int refused = 0;
};

outcome run(const std::string& text, size_t piece, http_limits limits) {
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
            fuzz_check(why.status >= 400 && why.status < 600 && !why.message.empty(), "a refusal with a reason");
            fuzz_check(c.room() == 0, "a refused connection takes nothing more");
            o.refused = why.status;
            return o;
        }
        const size_t n = std::min({piece, text.size() - at, c.room()});
        if (n == 0) {
            fuzz_check(at == text.size(), "room while the head is incomplete");
            return o;
        }
        c.feed(std::string_view(text).substr(at, n));
        at += n;
    }
}

void check_request(const http_request& r) {
    fuzz_check(!r.method.empty() && r.method.find_first_of(" \t\r\n:/") == std::string::npos, "a token method");
    fuzz_check(!r.target.empty() && r.target[0] == '/' && r.target.find_first_of(" \t\r\n") == std::string::npos,
               "an origin-form target");
    for (const std::string* v : {&r.host, &r.cookie})
        fuzz_check(v->find_first_of("\r\n") == std::string::npos &&
                       (v->empty() || (v->front() != ' ' && v->back() != ' ')),
                   "a trimmed value on one line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const uint8_t shape = in.byte(), pieces = in.byte();
    // Small limits half of the time, so that the fuzzer reaches them.
    http_limits limits;
    if (shape & 1) limits = {static_cast<size_t>(16 + (shape >> 1) * 8), static_cast<size_t>(1 + (shape >> 4))};
    const std::string text(reinterpret_cast<const char*>(data + in.used), size - in.used);
    const outcome whole = run(text, text.size() + 1, limits);
    const outcome split = run(text, 1 + pieces % 64, limits);
    fuzz_check(whole.refused == split.refused, "the same refusal whole or in pieces");
    fuzz_check(whole.requests.size() == split.requests.size(), "the same requests whole or in pieces");
    for (size_t i = 0; i < whole.requests.size(); ++i) {
        const http_request &a = whole.requests[i], &b = split.requests[i];
        fuzz_check(a.method == b.method && a.target == b.target && a.host == b.host && a.cookie == b.cookie &&
                       a.keep_alive == b.keep_alive,
                   "the same request whole or in pieces");
        check_request(a);
    }
    return 0;
}
