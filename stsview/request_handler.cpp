#include "stsview/request_handler.h"

#include "stsview/access.h"
#include "stsview/json_text.h"
#include "stsview/query.h"

namespace sts {

namespace {

reply refuse(int status, const std::string& message) {
    return {status, "application/json", json_error(message), "", ""};
}

}  // namespace

reply answer(const site& s, const request_view& r) {
    if (r.method != "GET" && r.method != "HEAD") return refuse(405, "only GET is served");
    if (!host_allowed(r.host, s.extra_host, s.port))
        return refuse(403, "the Host header must name 127.0.0.1 or localhost with the server's port");
    if (r.target.size() > target_max_bytes) return refuse(414, "the request's URL is too long");
    const size_t mark = r.target.find('?');
    const std::string_view path = r.target.substr(0, mark);
    const std::string_view query_text = mark == std::string_view::npos ? "" : r.target.substr(mark + 1);
    query q;
    std::string error;
    if (!q.parse(query_text, &error)) return refuse(400, error);
    const std::string given = q.has("token") ? q.values().at("token") : cookie_value(r.cookie, s.cookie_name());
    if (!same_token(given, s.token))
        return refuse(403, "open the page with the URL that stsview printed (it carries the token)");
    if (path == "/" || path == "/index.html") {
        reply page{200, s.assets->at("index.html").type, s.assets->at("index.html").body, "", ""};
        page.cookie = s.cookie_name() + "=" + s.token + "; Path=/; HttpOnly; SameSite=Strict";
        return page;
    }
    const std::string_view assets = "/assets/";
    if (path.substr(0, assets.size()) == assets) {
        const auto it = s.assets->find(std::string(path.substr(assets.size())));
        if (it == s.assets->end()) return refuse(404, "no such file of the page");
        return {200, it->second.type, it->second.body, "", ""};
    }
    if (path.substr(0, 5) == "/api/") return handle_api(*s.store, path, q);
    return refuse(404, "no such page");
}

}  // namespace sts
