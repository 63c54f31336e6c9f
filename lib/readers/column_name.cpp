// Column names of instrument tables and what they say.
#include "readers/column_name.h"

#include <cctype>

#include "readers/text_split.h"
#include "readers/units.h"

namespace sts {

namespace {

// Fold runs of blanks, so "Bias calc  (V)" and "Bias calc (V)" agree.
std::string folded(const std::string& text) {
    std::string name;
    for (char ch : trim(text)) {
        if (std::isspace(static_cast<unsigned char>(ch))) {
            if (!name.empty() && name.back() != ' ') name.push_back(' ');
        } else {
            name.push_back(ch);
        }
    }
    return name;
}

// Takes the bracketed tags out of text into c->tags and the last
// parenthesised group into *last (with its place in the returned rest).
std::string take_groups(const std::string& text, column_name* c, std::string* last,
                        size_t* last_at) {
    std::string rest;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t close = text[i] == '[' ? text.find(']', i)
                             : text[i] == '(' ? text.find(')', i)
                                              : std::string::npos;
        if (close == std::string::npos) {
            rest.push_back(text[i]);
        } else if (text[i] == '[') {
            c->tags.push_back(trim(text.substr(i + 1, close - i - 1)));
            i = close;
        } else {
            // Only the last group in parentheses can be the unit; earlier
            // ones ("Bias(AI5) (V)") belong to the name.
            if (*last_at != std::string::npos) rest.insert(*last_at, *last);
            *last = text.substr(i, close - i + 1);
            *last_at = rest.size();
            i = close;
        }
    }
    return rest;
}

}  // namespace

column_name parse_column_name(const std::string& text) {
    column_name c;
    std::string last_paren;
    size_t last_paren_at = std::string::npos;
    std::string rest = take_groups(text, &c, &last_paren, &last_paren_at);
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
    c.name = folded(rest);
    return c;
}

}  // namespace sts
