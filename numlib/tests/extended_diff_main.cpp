// extended_diff: the long differential run of soft_extended against the x87
// unit, too long for the test suite (hundreds of millions of cases).
//
//     extended_diff [cases-per-operation [seed]]      (default 100000000, 1)
//
// Prints, per operation, the cases run, the differences found (with the
// first few) and the classes of the unit's results; exits 1 on any
// difference, 2 where there is no x87 unit to compare with.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "numlib/tests/extended_differential.h"

int main(int argc, char** argv) {
    const std::uint64_t cases = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000000;
    const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    if (!hardware_extended_available()) {
        std::printf("extended_diff: no x87 long double here to compare with\n");
        return 2;
    }
    std::uint64_t total = 0;
    std::uint64_t differences = 0;
    for (const extended_op op : all_extended_ops()) {
        const differential_result r = run_differential(op, cases, seed);
        total += r.cases;
        differences += r.differences;
        std::printf("%-13s %" PRIu64 " cases, %" PRIu64 " differences;", op_name(op), r.cases,
                    r.differences);
        for (int c = 0; c < RESULT_CLASSES; ++c)
            if (r.by_class[c] != 0)
                std::printf(" %s %.2f%%", class_name(c), 100.0 * static_cast<double>(r.by_class[c]) /
                                                             static_cast<double>(r.cases));
        std::printf("\n");
        for (const std::string& example : r.examples) std::printf("    %s\n", example.c_str());
        std::fflush(stdout);
    }
    std::printf("total: %" PRIu64 " cases, %" PRIu64 " differences\n", total, differences);
    return differences == 0 ? 0 : 1;
}
