// The Omicron MATRIX parameter file: what it says about one data file.
#include "readers/omicron_matrix_parameters.h"

#include <vector>

namespace sts {

namespace {

// The three lists of a DICT and the axis lengths of a CHCS, by key.
struct dictionary {
    struct axis {
        std::string name;
        bool mirrored = false;
    };
    struct dependent {
        uint64_t axis = 0;
        std::string name, unit;
    };
    std::map<uint64_t, axis> axes;
    std::map<uint64_t, dependent> dependents;
    std::map<uint64_t, uint64_t> channels;          // channel key -> dependent axis key
    std::map<uint64_t, uint32_t> axis_points;
    std::map<uint64_t, matrix_transfer> transfers;  // by dependent axis key
};

bool read_settings(matrix_cursor* c, const std::string& group, matrix_experiment* e) {
    std::string name, unit;
    matrix_setting s;
    if (!c->text(&name) || !c->text(&unit) || !c->skip(4) || !c->value(&s.value)) return false;
    s.unit = unit;
    e->settings[group + "." + name] = std::move(s);
    return true;
}

bool read_eepa(std::string_view content, matrix_experiment* e) {
    matrix_cursor c(content);
    uint32_t groups = 0;
    if (!c.skip(4) || !c.u32(&groups)) return false;
    for (uint32_t g = 0; g < groups; ++g) {
        std::string group;
        uint32_t count = 0;
        if (!c.text(&group) || !c.u32(&count)) return false;
        for (uint32_t k = 0; k < count; ++k)
            if (!read_settings(&c, group, e)) return false;
    }
    return true;
}

bool read_pmod(std::string_view content, matrix_experiment* e) {
    matrix_cursor c(content);
    std::string group;
    return c.skip(4) && c.text(&group) && read_settings(&c, group, e);
}

bool read_dict(std::string_view content, dictionary* d) {
    matrix_cursor c(content);
    uint32_t n = 0;
    if (!c.skip(8) || !c.u32(&n)) return false;
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t key = 0, next = 0;
        std::string name, pattern;
        if (!c.u64(&key) || !c.u64(&next) || !c.text(&name) || !c.text(&pattern)) return false;
        d->axes[key] = {name, pattern == "triangular"};
    }
    if (!c.u32(&n)) return false;
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t key = 0;
        dictionary::dependent dep;
        if (!c.u64(&key) || !c.u64(&dep.axis) || !c.text(&dep.name) || !c.text(&dep.unit))
            return false;
        d->dependents[key] = dep;
    }
    if (!c.u32(&n)) return false;
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t key = 0, dep = 0;
        std::string description;
        if (!c.u64(&key) || !c.u64(&dep) || !c.text(&description)) return false;
        d->channels[key] = dep;
    }
    return true;
}

// Only the first list (the independent axes' lengths) is used.
bool read_chcs(std::string_view content, dictionary* d) {
    matrix_cursor c(content);
    uint32_t n = 0;
    if (!c.u32(&n)) return false;
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t key = 0;
        uint32_t points = 0;
        if (!c.u64(&key) || !c.u32(&points) || !c.skip(8)) return false;
        d->axis_points[key] = points;
    }
    return true;
}

bool read_xfer(std::string_view content, dictionary* d) {
    matrix_cursor c(content);
    while (c.left() > 0) {
        uint64_t key = 0;
        uint32_t n = 0;
        matrix_transfer t;
        if (!c.u64(&key) || !c.text(&t.function) || !c.text(&t.unit) || !c.u32(&n)) return false;
        for (uint32_t k = 0; k < n; ++k) {
            std::string name;
            matrix_value v;
            if (!c.text(&name) || !c.value(&v)) return false;
            if (!v.is_text) t.parameters[name] = v.number;
        }
        d->transfers[key] = std::move(t);
    }
    return true;
}

// The channels of a complete dictionary; a channel whose axes are not
// listed is left out (no data file can be read through it).
std::map<uint64_t, matrix_channel> channels_of(const dictionary& d) {
    std::map<uint64_t, matrix_channel> channels;
    for (const auto& [key, dep_key] : d.channels) {
        const auto dep = d.dependents.find(dep_key);
        if (dep == d.dependents.end()) continue;
        const auto axis = d.axes.find(dep->second.axis);
        if (axis == d.axes.end()) continue;
        matrix_channel ch;
        ch.name = dep->second.name;
        ch.unit = dep->second.unit;
        ch.axis = axis->second.name;
        ch.mirrored = axis->second.mirrored;
        const auto points = d.axis_points.find(dep->second.axis);
        ch.axis_points = points == d.axis_points.end() ? 0 : points->second;
        const auto transfer = d.transfers.find(dep_key);
        ch.has_transfer = transfer != d.transfers.end();
        if (ch.has_transfer) ch.transfer = transfer->second;
        channels[key] = std::move(ch);
    }
    return channels;
}

bool read_ccsy(std::string_view content, matrix_experiment* e) {
    matrix_cursor c(content);
    dictionary d;
    if (!c.skip(4)) return false;
    while (c.left() > 0) {
        matrix_block b;
        if (!c.block(&b, false)) return false;
        const bool ok = b.tag == "DICT"   ? read_dict(b.content, &d)
                        : b.tag == "CHCS" ? read_chcs(b.content, &d)
                        : b.tag == "XFER" ? read_xfer(b.content, &d)
                                          : true;
        if (!ok) return false;
    }
    e->channels = channels_of(d);
    return true;
}

bool names(std::string_view content, const std::string& data_name) {
    matrix_cursor c(content);
    std::string name;
    if (!c.skip(4) || !c.text(&name)) return false;
    const size_t slash = name.find_last_of("/\\");
    return name.substr(slash == std::string::npos ? 0 : slash + 1) == data_name;
}

std::string at(size_t offset) { return " at byte " + std::to_string(offset); }

}  // namespace

bool read_matrix_parameters(std::string_view bytes, const std::string& data_name,
                            matrix_experiment* e, std::string* error) {
    if (bytes.substr(0, 12) != "ONTMATRX0101" || bytes.substr(12, 4) == "TLKB") {
        *error = "not a MATRIX parameter file";
        return false;
    }
    matrix_cursor c(bytes, 12);
    while (c.left() > 0) {
        const size_t offset = c.offset();
        matrix_block b;
        if (!c.block(&b, true)) {
            *error = "cut short" + at(offset) + " (a block runs past the end of the file)";
            return false;
        }
        const bool ok = b.tag == "EEPA"   ? read_eepa(b.content, e)
                        : b.tag == "PMOD" ? read_pmod(b.content, e)
                        : b.tag == "CCSY" ? read_ccsy(b.content, e)
                                          : true;
        if (!ok) {
            *error = "damaged" + at(offset) + " (its " + b.tag + " block does not read)";
            return false;
        }
        if (b.tag == "BREF" && names(b.content, data_name)) return true;
    }
    *error = "records no data file " + data_name + " (none of its BREF blocks names it)";
    return false;
}

}  // namespace sts
