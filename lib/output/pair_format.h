// Spectra as the text pair files that normspec and pointmean read.
#ifndef OUTPUT_PAIR_FORMAT_H
#define OUTPUT_PAIR_FORMAT_H

#include <string>
#include <vector>

namespace sts {

// The bias texts of the last spectrum formatted: the spectra of a grid
// share one bias axis, and formatting it once halves the work.  One cache
// per thread.
struct bias_text_cache {
    std::vector<double> bias;
    std::vector<std::string> text;
};

// Rows "bias current\n" of bias[i] and current[i], each value first
// rounded to float and written as the shortest decimal that reads back
// (strtof, scanf "%f") as that very float: the tools that read the rows
// hold floats, so the text gives exactly static_cast<float> of the value,
// in as few digits as that takes ("-0.2", not "-0.200000003").
// (Formatting the double itself would let a second rounding differ from
// the direct one for about 1 % of real currents.)  bias and current have
// the same length.  Never fails.
std::string format_pairs(const std::vector<double>& bias, const std::vector<double>& current,
                         bias_text_cache* cache);

}  // namespace sts

#endif
