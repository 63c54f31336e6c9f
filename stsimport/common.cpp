// Column names, units, format detection, channel selection and output.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "stsimport.h"

namespace sts {

namespace {

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool same_name(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

// The unit prefixes we meet in instrument exports.
double prefix_factor(const std::string& prefix) {
    if (prefix.empty()) return 1.0;
    if (prefix == "m") return 1e-3;
    if (prefix == "u" || prefix == "\xc2\xb5" || prefix == "\xce\xbc") return 1e-6;  // u, micro, mu
    if (prefix == "n") return 1e-9;
    if (prefix == "p") return 1e-12;
    if (prefix == "f") return 1e-15;
    if (prefix == "k") return 1e3;
    return 0.0;
}

double unit_factor(const std::string& unit, char base) {
    const std::string u = trim(unit);
    if (u.empty() || u.back() != base) return 0.0;
    return prefix_factor(u.substr(0, u.size() - 1));
}

bool is_unit(const std::string& text) { return volts_per(text) > 0 || amperes_per(text) > 0; }

}  // namespace

double volts_per(const std::string& unit) { return unit_factor(unit, 'V'); }
double amperes_per(const std::string& unit) { return unit_factor(unit, 'A'); }

column_name parse_column_name(const std::string& text) {
    column_name c;
    std::string rest;
    std::string last_paren;
    size_t last_paren_at = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '[') {
            const size_t close = text.find(']', i);
            if (close != std::string::npos) {
                c.tags.push_back(trim(text.substr(i + 1, close - i - 1)));
                i = close;
                continue;
            }
        }
        if (text[i] == '(') {
            const size_t close = text.find(')', i);
            if (close != std::string::npos) {
                // Only the last group in parentheses is the unit; earlier
                // ones ("Bias(AI5) (V)") belong to the name.
                if (last_paren_at != std::string::npos) rest.insert(last_paren_at, last_paren);
                last_paren = text.substr(i, close - i + 1);
                last_paren_at = rest.size();
                i = close;
                continue;
            }
        }
        rest.push_back(text[i]);
    }
    if (last_paren_at != std::string::npos) {
        const std::string inside = last_paren.substr(1, last_paren.size() - 2);
        if (is_unit(inside))
            c.unit = trim(inside);
        else
            rest.insert(last_paren_at, last_paren);
    }
    // A unit written as a tag ("Current [pA]") or after a slash ("I/nA").
    if (c.unit.empty() && !c.tags.empty() && is_unit(c.tags.back())) {
        c.unit = c.tags.back();
        c.tags.pop_back();
    }
    if (c.unit.empty()) {
        const size_t slash = rest.rfind('/');
        if (slash != std::string::npos && is_unit(rest.substr(slash + 1))) {
            c.unit = trim(rest.substr(slash + 1));
            rest.erase(slash);
        }
    }
    // Fold runs of blanks, so "Bias calc  (V)" and "Bias calc (V)" agree.
    std::string name;
    for (char ch : trim(rest)) {
        if (std::isspace(static_cast<unsigned char>(ch))) {
            if (!name.empty() && name.back() != ' ') name.push_back(' ');
        } else {
            name.push_back(ch);
        }
    }
    c.name = name;
    return c;
}

std::string detect_format(const std::string& bytes) {
    std::string head = bytes.substr(0, 4096);
    if (head.rfind("\xef\xbb\xbf", 0) == 0) head.erase(0, 3);  // a UTF-8 byte-order mark
    if (head.rfind("Grid dim=", 0) == 0) return "3ds";
    if (head.rfind("Experiment\t", 0) == 0 || bytes.find("\n[DATA]") != std::string::npos)
        return "dat";
    // Delimited text: the first line that is neither blank nor a comment
    // names the columns.
    size_t at = 0;
    while (at < head.size()) {
        size_t end = head.find('\n', at);
        if (end == std::string::npos) end = head.size();
        const std::string line = head.substr(at, end - at);
        at = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
        return line.find_first_of(",;\t") != std::string::npos ? "csv" : "";
    }
    return "";
}

namespace {

enum { FWD = 0, BWD = 1 };

struct current_column {
    int index;
    int dir;
    std::string sweep;  // digits without leading zeros, "AVG", or ""
};

// Mean of several columns, point by point.
std::vector<double> mean_of(const std::vector<const std::vector<double>*>& columns) {
    std::vector<double> out(columns.front()->size(), 0.0);
    for (const auto* c : columns)
        for (size_t i = 0; i < out.size(); ++i) out[i] += (*c)[i];
    for (double& v : out) v /= static_cast<double>(columns.size());
    return out;
}

}  // namespace

bool select_spectra(const std::string& path, const std::vector<column_name>& columns,
                    const std::vector<std::vector<double>>& table, const options& o,
                    std::vector<spectrum>* out, std::string* error) {
    // The bias column.
    int bias = -1;
    const std::vector<std::string> bias_names =
        o.bias_channel.empty() ? std::vector<std::string>{"Bias calc", "Bias", "Voltage", "V"}
                               : std::vector<std::string>{o.bias_channel};
    for (const auto& wanted : bias_names) {
        for (size_t i = 0; i < columns.size() && bias < 0; ++i) {
            const auto& tags = columns[i].tags;
            const bool plain = std::find(tags.begin(), tags.end(), "bwd") == tags.end() &&
                               std::find(tags.begin(), tags.end(), "filt") == tags.end();
            if (plain && same_name(columns[i].name, wanted)) bias = static_cast<int>(i);
        }
        if (bias >= 0) break;
    }
    std::string names;
    for (const auto& c : columns) names += (names.empty() ? "" : ", ") + c.name;
    if (bias < 0) {
        *error = "no bias column" +
                 (o.bias_channel.empty() ? std::string() : " '" + o.bias_channel + "'") +
                 " (columns: " + names + ")";
        return false;
    }
    const double bias_factor = volts_per(columns[bias].unit);
    if (bias_factor == 0.0) {
        *error = "the bias column '" + columns[bias].name + "' has no voltage unit ('" +
                 columns[bias].unit + "')";
        return false;
    }

    // The current columns of the channel; a column plainly named "I" serves
    // as the default "Current".
    auto is_channel = [&](const std::string& name) {
        return same_name(name, o.channel) || (same_name(o.channel, "Current") && name == "I");
    };
    std::vector<current_column> found;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (static_cast<int>(i) == bias || !is_channel(columns[i].name)) continue;
        current_column c{static_cast<int>(i), FWD, ""};
        bool filtered = false;
        for (const auto& tag : columns[i].tags) {
            if (tag == "bwd") c.dir = BWD;
            else if (tag == "filt") filtered = true;
            else if (same_name(tag, "AVG")) c.sweep = "AVG";
            else if (!tag.empty() && std::all_of(tag.begin(), tag.end(), [](char ch) {
                         return std::isdigit(static_cast<unsigned char>(ch));
                     })) {
                const size_t nz = tag.find_first_not_of('0');
                c.sweep = nz == std::string::npos ? "0" : tag.substr(nz);
            }
        }
        if (!filtered) found.push_back(c);
    }
    if (found.empty()) {
        *error = "no channel '" + o.channel + "' (columns: " + names + ")";
        return false;
    }
    for (const auto& c : found) {
        if (amperes_per(columns[c.index].unit) == 0.0) {
            *error = "channel '" + o.channel + "' is in '" + columns[c.index].unit +
                     "', not a current unit";
            return false;
        }
    }

    // Per direction: a list of (sweep label, values in A).
    struct series {
        std::string sweep;
        std::vector<double> values;
    };
    auto gather = [&](int dir, std::vector<series>* result) {
        std::vector<const current_column*> plain, avg, numbered;
        for (const auto& c : found) {
            if (c.dir != dir) continue;
            if (c.sweep.empty()) plain.push_back(&c);
            else if (c.sweep == "AVG") avg.push_back(&c);
            else numbered.push_back(&c);
        }
        auto in_amperes = [&](const current_column* c) {
            std::vector<double> v = table[c->index];
            const double f = amperes_per(columns[c->index].unit);
            for (double& x : v) x *= f;
            return v;
        };
        if (o.each_sweep && !numbered.empty()) {
            for (const auto* c : numbered) result->push_back({c->sweep, in_amperes(c)});
        } else if (!plain.empty()) {
            result->push_back({"", in_amperes(plain.front())});
        } else if (!avg.empty()) {
            result->push_back({"", in_amperes(avg.front())});
        } else if (!numbered.empty()) {
            std::vector<std::vector<double>> each;
            for (const auto* c : numbered) each.push_back(in_amperes(c));
            std::vector<const std::vector<double>*> refs;
            for (const auto& v : each) refs.push_back(&v);
            result->push_back({"", mean_of(refs)});
        }
    };

    std::vector<series> chosen;
    std::string label;
    if (o.dir == direction::forward || o.dir == direction::backward) {
        const int dir = o.dir == direction::forward ? FWD : BWD;
        gather(dir, &chosen);
        label = dir == FWD ? "fwd" : "bwd";
        if (chosen.empty()) {
            *error = std::string("no ") + (dir == FWD ? "forward" : "backward") +
                     " sweep of channel '" + o.channel + "'";
            return false;
        }
    } else {
        std::vector<series> fwd, bwd;
        gather(FWD, &fwd);
        gather(BWD, &bwd);
        if (fwd.empty() || bwd.empty() || fwd.size() != bwd.size()) {
            *error = "channel '" + o.channel + "' needs both a forward and a backward sweep for "
                     "their mean";
            return false;
        }
        for (size_t k = 0; k < fwd.size(); ++k)
            chosen.push_back({fwd[k].sweep, mean_of({&fwd[k].values, &bwd[k].values})});
        label = "mean";
    }

    for (const auto& s : chosen) {
        spectrum sp;
        sp.source = path;
        sp.sweep = s.sweep;
        sp.direction = label;
        sp.bias = table[bias];
        for (double& v : sp.bias) v *= bias_factor * o.bias_scale;
        sp.current = s.values;
        for (double& v : sp.current) v *= o.current_scale;
        out->push_back(std::move(sp));
    }
    return true;
}

bool write_atomically(const std::string& path, const std::string& contents, std::string* error) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // A temporary name of our own beside the target (so that the rename
    // stays within one file system), created exclusively, with the usual
    // permissions under the umask.
    static unsigned long serial = 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = dir + "/." + base + ".part" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = "cannot create a file in " + dir + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = "cannot write " + path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            close(fd);
            unlink(temp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

std::string format_pairs(const spectrum& s, bias_text_cache* cache) {
    // "%.9g": enough digits that every value reads back as the same float.
    char buffer[32];
    auto g9 = [&buffer](double v) {
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 9);
        return std::string_view(buffer, static_cast<size_t>(r.ptr - buffer));
    };
    if (cache->bias != s.bias) {
        cache->bias = s.bias;
        cache->text.clear();
        for (double v : s.bias) cache->text.emplace_back(g9(v));
    }
    std::string text;
    text.reserve(s.bias.size() * 28);
    for (size_t i = 0; i < s.bias.size(); ++i) {
        text += cache->text[i];
        text += ' ';
        text += g9(s.current[i]);
        text += '\n';
    }
    return text;
}

}  // namespace sts
