// Differential comparison of soft_extended with the x87 unit (the hardware
// long double of x86-64) over random operands: every operation of the type,
// compared bit for bit (comparisons by their six outcomes).
#ifndef NUMLIB_TESTS_EXTENDED_DIFFERENTIAL_H
#define NUMLIB_TESTS_EXTENDED_DIFFERENTIAL_H

#include <cstdint>
#include <string>
#include <vector>

enum class extended_op {
    add, subtract, multiply, divide, square_root, compare,
    to_float, to_double, from_float, from_double, from_integer
};

// Every operation, and its name for reports.
const std::vector<extended_op>& all_extended_ops();
const char* op_name(extended_op op);

// Classes of the unit's results, to show what a run covered.
enum result_class { RESULT_ZERO, RESULT_SUBNORMAL, RESULT_NORMAL, RESULT_INFINITE, RESULT_NAN,
                    RESULT_CLASSES };
const char* class_name(int result_class);

struct differential_result {
    std::uint64_t cases = 0;
    std::uint64_t differences = 0;
    // Cases by the class of the unit's result (comparisons: none counted).
    std::uint64_t by_class[RESULT_CLASSES] = {};
    std::vector<std::string> examples;  // the first few differences, readable
};

// Whether the hardware long double is the x87 type, so that a comparison
// means something; when false, run_differential() compares nothing.
bool hardware_extended_available();

// Runs `cases` random cases of op from the given seed against the unit.
differential_result run_differential(extended_op op, std::uint64_t cases, std::uint64_t seed);

#endif
