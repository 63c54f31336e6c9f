// Running the real pointmean binary in a temporary directory.
#ifndef POINTMEAN_TESTS_E2E_H
#define POINTMEAN_TESTS_E2E_H

#include <string>

#include "testkit/testkit.h"

namespace e2e {

inline const std::string prompts =
    "Enter number of spectroscopy files:Enter number of points:";
inline const std::string header =
    prompts + "\nSaving to pointmean.txt (individual files to statp#.txt)\nProcessing...\n\n";
inline const std::string finished = "\nFinished!\n\n";

inline testkit::outcome pointmean(const testkit::temp_dir& dir, const std::string& answers,
                                  testkit::run_options options = {}) {
    options.cwd = dir.path();
    options.input = answers;
    return testkit::run({POINTMEAN_BIN}, options);
}

inline void series(const testkit::temp_dir& dir, const std::vector<std::string>& contents) {
    for (size_t k = 0; k < contents.size(); ++k)
        testkit::write_file(dir / ("stxt" + std::to_string(k + 1) + "p.txt"), contents[k]);
}

}  // namespace e2e

#endif
