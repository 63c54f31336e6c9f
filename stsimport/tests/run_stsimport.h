// Running the stsimport under test in a test's temporary folder, for the
// end-to-end tests.
#ifndef STSIMPORT_TESTS_RUN_STSIMPORT_H
#define STSIMPORT_TESTS_RUN_STSIMPORT_H

#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace stsimport_tests {

inline testkit::outcome stsimport(const testkit::temp_dir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), STSIMPORT_BIN);
    testkit::run_options options;
    options.cwd = dir.path();
    return testkit::run(args, options);
}

}  // namespace stsimport_tests

#endif
