// Requests through the whole handler: the guards (Host, token, method,
// size), the page's files, every data route with good and bad parameters,
// and the numbers in the replies against the file read whole.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "stsview/request_handler.h"
#include "grid_fixture.h"

namespace {

using stsview_test::grid_fixture;

const std::string token(64, 'a');

struct handler_fixture {
    sts::grid_store store;
    std::map<std::string, sts::asset> assets;
    sts::site site;
    handler_fixture() {
        std::string error;
        EXPECT_TRUE(store.open({grid_fixture::get().nc}, &error)) << error;
        for (const auto& name : sts::asset_names()) assets[name] = {"text/plain", "<" + name + ">"};
        site.store = &store;
        site.assets = &assets;
        site.token = token;
        site.port = 8123;
    }
    sts::reply get(const std::string& target, const std::string& host = "127.0.0.1:8123",
                   const std::string& cookie = "") {
        return sts::answer(site, {"GET", target, host, cookie});
    }
    // A data route with the token in the query.
    sts::reply api(const std::string& route) {
        return get("/api/" + route + (route.find('?') == std::string::npos ? "?" : "&") + "token=" + token);
    }
};

// The floats of "name":[...] in a JSON reply (null as NaN).
std::vector<float> numbers(const std::string& body, const std::string& name) {
    std::vector<float> out;
    size_t at = body.find("\"" + name + "\":[");
    if (at == std::string::npos) return out;
    at += name.size() + 4;
    while (at < body.size() && body[at] != ']') {
        if (body.compare(at, 4, "null") == 0) {
            out.push_back(NAN);
            at += 4;
        } else {
            char* end = nullptr;
            out.push_back(std::strtof(body.c_str() + at, &end));
            at = static_cast<size_t>(end - body.c_str());
        }
        if (body[at] == ',') ++at;
    }
    return out;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

TEST(Guards, TokenHostAndMethod) {
    ASSERT_TRUE(grid_fixture::get().ok);
    handler_fixture h;
    EXPECT_EQ(h.get("/").status, 403);
    EXPECT_EQ(h.get("/?token=" + std::string(64, 'b')).status, 403);
    EXPECT_EQ(h.get("/?token=" + token.substr(1)).status, 403);
    EXPECT_EQ(h.get("/api/files").status, 403);
    EXPECT_EQ(h.get("/?token=" + token, "evil.example:8123").status, 403);
    EXPECT_EQ(h.get("/?token=" + token, "127.0.0.1:9999").status, 403);
    EXPECT_EQ(sts::answer(h.site, {"POST", "/?token=" + token, "127.0.0.1:8123", ""}).status, 405);
    EXPECT_EQ(h.get("/?token=" + token + "&x=" + std::string(5000, 'a')).status, 414);
    const sts::reply page = h.get("/?token=" + token);
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<index.html>");
    EXPECT_EQ(page.cookie, "stsview_8123=" + token + "; Path=/; HttpOnly; SameSite=Strict");
    // The page's own requests carry the cookie.
    EXPECT_EQ(h.get("/assets/main.js", "localhost:8123", "stsview_8123=" + token).status, 200);
    EXPECT_EQ(h.get("/assets/main.js", "localhost:8123", "stsview_8124=" + token).status, 403);
}

TEST(Guards, NoPathReachesTheFileSystem) {
    ASSERT_TRUE(grid_fixture::get().ok);
    handler_fixture h;
    for (const char* path : {"/assets/../../etc/passwd", "/assets/%2e%2e/CMakeLists.txt", "/etc/passwd",
                             "/assets/", "/assets/main.js/", "/assets//main.js", "/api/../assets/main.js",
                             "/api/export/../../x", "/api", "/api/"}) {
        const sts::reply r = h.get(std::string(path) + "?token=" + token);
        EXPECT_EQ(r.status, 404) << path;
    }
    EXPECT_EQ(h.get("/assets/uPlot.esm.js?token=" + token).body, "<uPlot.esm.js>");
}

TEST(Routes, BadParametersAreRefusedWithAMessage) {
    ASSERT_TRUE(grid_fixture::get().ok);
    handler_fixture h;
    for (const char* q : {"map", "map?file=0&variable=didv", "map?file=0&variable=didv&index=39",
                          "map?file=1&variable=didv&index=0", "map?file=0&variable=nope&index=0",
                          "map?file=0&variable=status&index=0", "map?file=0&variable=didv&index=-1",
                          "map?file=0&variable=didv&index=NaN", "map?file=0&variable=didv&index=1e9",
                          "map?file=0&variable=didv&index=0&extra=1", "map?file=0&variable=didv&index=%zz",
                          "curve?file=0&variable=didv&x=7&y=0", "curve?file=0&variable=didv&x=0&y=5",
                          "curve?file=0&variable=didv&x=0", "region?file=0&variable=didv&x0=3&x1=2&y0=0&y1=0",
                          "region?file=0&variable=didv&x0=0&x1=9&y0=0&y1=0",
                          "linecut?file=0&variable=didv&x0=0&x1=9&y0=0&y1=0", "axis?file=0",
                          "export/map.txt?file=0&variable=didv", "files?file=0"}) {
        const sts::reply r = h.api(q);
        EXPECT_GE(r.status, 400) << q;
        EXPECT_LT(r.status, 500) << q;
        EXPECT_NE(r.body.find("\"error\":\""), std::string::npos) << q << r.body;
    }
    EXPECT_EQ(h.api("mean?file=0&variable=iv").status, 404);
    EXPECT_EQ(h.api("nothing").status, 404);
}

TEST(Routes, NumbersEqualTheFile) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    handler_fixture h;
    const auto didv = stsview_test::read_whole(g.nc, "didv");
    const sts::reply map = h.api("map?file=0&variable=didv&index=12");
    ASSERT_EQ(map.status, 200) << map.body;
    const auto values = numbers(map.body, "values");
    ASSERT_EQ(values.size(), 35u);
    for (size_t p = 0; p < 35; ++p) EXPECT_TRUE(same_bits(values[p], didv[p * 39 + 12])) << p;
    const sts::reply binary = h.api("map.f32?file=0&variable=didv&index=12");
    ASSERT_EQ(binary.status, 200);
    ASSERT_EQ(binary.body.size(), 35u * 4);
    for (size_t p = 0; p < 35; ++p) {
        const auto* b = reinterpret_cast<const unsigned char*>(binary.body.data() + 4 * p);
        const uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        EXPECT_TRUE(same_bits(v, didv[p * 39 + 12])) << p;
    }
    EXPECT_EQ(h.api("map.f32?file=0&variable=didv&index=39").status, 400);
    const sts::reply curve = h.api("curve?file=0&variable=didv&x=3&y=2");
    ASSERT_EQ(curve.status, 200);
    const auto c = numbers(curve.body, "values");
    ASSERT_EQ(c.size(), 39u);
    for (size_t k = 0; k < 39; ++k) EXPECT_TRUE(same_bits(c[k], didv[17 * 39 + k]));
    EXPECT_NE(curve.body.find("\"reason\":\"processed\""), std::string::npos);
    EXPECT_NE(h.api("curve?file=0&variable=didv&x=6&y=4").body.find("\"reason\":\"missing\""), std::string::npos);
    const sts::reply mean = h.api("mean?file=0&variable=didv");
    const auto m = numbers(mean.body, "mean");
    const auto file_mean = stsview_test::read_whole(g.nc, "mean_didv");
    ASSERT_EQ(m.size(), file_mean.size());
    for (size_t k = 0; k < m.size(); ++k) EXPECT_TRUE(same_bits(m[k], file_mean[k]));
    const sts::reply region = h.api("region?file=0&variable=norm_raw&x0=1&x1=4&y0=2&y1=4");
    const auto r = numbers(region.body, "mean");
    const auto want = stsview_test::read_whole(g.region_nc, "mean_norm_raw");
    ASSERT_EQ(r.size(), want.size());
    for (size_t k = 0; k < r.size(); ++k) EXPECT_TRUE(same_bits(r[k], want[k]));
    EXPECT_NE(region.body.find("\"pixels\":11"), std::string::npos);
    const sts::reply cut = h.api("linecut?file=0&variable=didv&x0=0&y0=0&x1=6&y1=0");
    ASSERT_EQ(cut.status, 200);
    const auto cv = numbers(cut.body, "values");
    ASSERT_EQ(cv.size(), 7u * 39);
    for (size_t k = 0; k < cv.size(); ++k) EXPECT_TRUE(same_bits(cv[k], didv[k]));
}

// The variables over (y, x) alone: listed with the files, read as floats
// equal to the file's (status a byte in the file, position_x a float).
TEST(Routes, PixelMaps) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    handler_fixture h;
    const sts::reply files = h.api("files");
    ASSERT_EQ(files.status, 200);
    const size_t maps = files.body.find("\"maps\":[");
    ASSERT_NE(maps, std::string::npos);
    const std::string listed = files.body.substr(maps, files.body.find(']', maps) - maps);
    EXPECT_NE(listed.find("\"name\":\"status\""), std::string::npos) << listed;
    EXPECT_NE(listed.find("\"name\":\"position_x\""), std::string::npos) << listed;
    EXPECT_EQ(listed.find("\"name\":\"didv\""), std::string::npos) << listed;
    for (const char* name : {"status", "position_x"}) {
        const auto want = stsview_test::read_whole(g.nc, name);
        ASSERT_EQ(want.size(), 35u);
        const sts::reply r = h.api(std::string("pixelmap.f32?file=0&variable=") + name);
        ASSERT_EQ(r.status, 200) << r.body;
        ASSERT_EQ(r.body.size(), 35u * 4);
        for (size_t p = 0; p < 35; ++p) {
            const auto* b = reinterpret_cast<const unsigned char*>(r.body.data() + 4 * p);
            const uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
            float v;
            std::memcpy(&v, &bits, sizeof v);
            EXPECT_TRUE(same_bits(v, want[p])) << name << ' ' << p;
        }
    }
    for (const char* q : {"pixelmap.f32?file=0&variable=didv", "pixelmap.f32?file=0&variable=mean_didv",
                          "pixelmap.f32?file=1&variable=status", "pixelmap.f32?file=0",
                          "pixelmap.f32?file=0&variable=status&index=0"}) {
        const sts::reply r = h.api(q);
        EXPECT_EQ(r.status, 400) << q;
    }
}

TEST(Routes, TextExports) {
    auto& g = grid_fixture::get();
    ASSERT_TRUE(g.ok);
    handler_fixture h;
    const sts::reply map = h.api("export/map.txt?file=0&variable=didv&index=0");
    ASSERT_EQ(map.status, 200);
    size_t lines = 0;
    for (char ch : map.body) lines += ch == '\n';
    EXPECT_EQ(lines, 5u);
    EXPECT_FALSE(map.download.empty());
    // A missing pixel's curve: no pairs (every value NaN); a good one: 40 pairs.
    EXPECT_EQ(h.api("export/curve.txt?file=0&variable=current&x=6&y=4").body, "");
    const sts::reply curve = h.api("export/curve.txt?file=0&variable=current&x=0&y=0");
    lines = 0;
    for (char ch : curve.body) lines += ch == '\n';
    EXPECT_EQ(lines, 40u);
    const auto current = stsview_test::read_whole(g.nc, "current");
    float bias = 0, value = 0;
    ASSERT_EQ(std::sscanf(curve.body.c_str(), "%f %f", &bias, &value), 2);
    EXPECT_TRUE(same_bits(value, current[0]));
    EXPECT_EQ(h.api("export/region.txt?file=0&variable=didv&x0=0&x1=1&y0=0&y1=1").status, 200);
    EXPECT_EQ(h.api("export/linecut.txt?file=0&variable=didv&x0=0&x1=1&y0=0&y1=1").status, 200);
    EXPECT_EQ(h.api("export/mean.txt?file=0&variable=didv").status, 200);
}

}  // namespace
