// Running a program, or the stsgrid under test, in a test's temporary
// folder, for the end-to-end tests.
#ifndef STSGRID_TESTS_RUN_IN_H
#define STSGRID_TESTS_RUN_IN_H

#include <string>
#include <utility>
#include <vector>

#include "testkit/testkit.h"

namespace stsgrid_tests {

// args[0] with the other arguments, in dir.
inline testkit::outcome run_in(const testkit::temp_dir& dir, std::vector<std::string> args) {
    testkit::run_options options;
    options.cwd = dir.path();
    return testkit::run(args, options);
}

inline testkit::outcome stsgrid(const testkit::temp_dir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), STSGRID_BIN);
    return run_in(dir, std::move(args));
}

}  // namespace stsgrid_tests

#endif
