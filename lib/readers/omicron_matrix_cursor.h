// The little-endian pieces Omicron MATRIX files are made of: numbers,
// UTF-16 texts, typed setting values and tagged blocks.
//
// The layout as the public MATRIX readers describe it (pyMTRX,
// access2thematrix, Gwyddion's omicronmatrix module): a block is a
// 4-character tag stored back to front ("ATEM" for META), a uint32 length,
// at the top level of a file 8 bytes of time, then `length` bytes of
// content.  A text is a uint32 count of UTF-16LE code units, then the
// units.  A typed value is a tag ("LOOB" BOOL, "GNOL" LONG, "BUOD" DOUB,
// "GRTS" STRG) and a uint32, a uint32, a double or a text.
#ifndef READERS_OMICRON_MATRIX_CURSOR_H
#define READERS_OMICRON_MATRIX_CURSOR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sts {

// A setting's value: a number (a BOOL as 0 or 1) or a text.
struct matrix_value {
    bool is_text = false;
    double number = 0;
    std::string text;
};

// One block: its tag as read (front to back, "META") and its content.
struct matrix_block {
    std::string tag;
    std::string_view content;
};

// Reads forward through bytes; every read fails, moving nothing, when the
// bytes run out, so that a file cut short is found where it is cut.
class matrix_cursor {
public:
    explicit matrix_cursor(std::string_view bytes, size_t at = 0) : bytes_(bytes), at_(at) {}
    size_t left() const { return at_ < bytes_.size() ? bytes_.size() - at_ : 0; }
    size_t offset() const { return at_; }
    bool skip(size_t count);
    bool u32(uint32_t* v);
    bool u64(uint64_t* v);
    bool f64(double* v);
    bool tag(std::string* t);                 // four bytes, turned front to back
    bool text(std::string* t);                // UTF-16LE, given as UTF-8
    bool value(matrix_value* v);              // false also for an unknown type tag
    // A tagged block; with_time for the top-level blocks that carry 8 bytes
    // of time after their length.
    bool block(matrix_block* b, bool with_time);

private:
    bool take(size_t count, std::string_view* part);
    std::string_view bytes_;
    size_t at_;
};

}  // namespace sts

#endif
