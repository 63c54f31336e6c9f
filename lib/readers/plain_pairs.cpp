// Plain files of (bias, current) number pairs.
#include "readers/plain_pairs.h"

#include <cstdio>
#include <memory>

namespace sts {

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool read_plain_pairs(const std::string& path, std::string_view bytes, const import_options& o,
                      std::vector<imported_spectrum>* out, std::string* error) {
    if (o.dir != direction::forward) {
        *error = "a file of plain pairs holds one sweep: no backward one, no mean";
        return false;
    }
    imported_spectrum s;
    s.source = path;
    s.direction = "fwd";
    // The stream over the bytes gives "%f" the very input it meets in a file
    // (fmemopen refuses a size of 0).
    std::string copy(bytes);
    std::unique_ptr<std::FILE, file_closer> in(
        copy.empty() ? nullptr : fmemopen(copy.data(), copy.size(), "r"));
    float v = 0.0f, i = 0.0f;
    while (in && std::fscanf(in.get(), "%f%f", &v, &i) == 2) {
        s.bias.push_back(v);
        s.current.push_back(i);
    }
    if (s.bias.empty()) {
        *error = "no pair of numbers to read";
        return false;
    }
    out->push_back(std::move(s));
    return true;
}

void read_pairs(std::FILE* in, float* bias, float* current, int limit, int* n, bool* more,
                bool* read_error) {
    int count = 0;
    float v = 0.0f, i = 0.0f;
    while (count < limit && std::fscanf(in, "%f%f", &v, &i) == 2) {
        bias[count] = v;
        current[count] = i;
        ++count;
    }
    *n = count;
    *more = count == limit && std::fscanf(in, "%f%f", &v, &i) == 2;
    *read_error = std::ferror(in) != 0;
}

bool starts_with_text(std::FILE* in) {
    std::rewind(in);
    float v = 0.0f;
    return std::fscanf(in, "%f", &v) == 0;
}

}  // namespace sts
