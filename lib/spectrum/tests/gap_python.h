// The gap tests' way to the independent SciPy computation
// (gap_reference.py): a JSON request written to a file, the answer read back
// as lines of numbers.
#ifndef SPECTRUM_TESTS_GAP_PYTHON_H
#define SPECTRUM_TESTS_GAP_PYTHON_H

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/gap_fit.h"
#include "testkit/testkit.h"

namespace gap_python {

inline std::string numbers(const std::vector<double>& v) {
    std::string s = "[";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + testkit::format("%.17g", v[i]);
    return s + "]";
}

inline std::string curve_json(const sts::gap_curve& c) {
    return testkit::format(
        "{\"model\": \"%s\", \"gap\": %.17g, \"gamma\": %.17g, \"temperature\": %.17g, "
        "\"tip_gap\": %.17g, \"tip_gamma\": %.17g, \"scale\": %.17g, \"offset\": %.17g, "
        "\"background\": %.17g, \"modulation\": %.17g, \"bias_to_meV\": %.17g}",
        c.model == sts::gap_model::dynes ? "dynes" : "dynes_sis", c.gap, c.gamma, c.temperature,
        c.tip_gap, c.tip_gamma, c.scale, c.offset, c.background, c.modulation, c.bias_to_meV);
}

inline testkit::run_options long_run() {
    testkit::run_options o;
    o.timeout_seconds = 1800;
    return o;
}

// Runs the script on the request; its output's lines as numbers.
inline std::vector<std::vector<double>> run(const std::string& request) {
    const testkit::temp_dir dir;
    testkit::write_file(dir / "in.json", request);
    const auto r = testkit::run({"/usr/bin/python3", std::string(SPECTRUM_TEST_DIR "/gap_reference.py"),
                                 dir / "in.json", dir / "out.txt"},
                                long_run());
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::vector<double>> rows;
    std::istringstream lines(testkit::file_exists(dir / "out.txt") ? testkit::read_file(dir / "out.txt") : "");
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        rows.emplace_back();
        double v;
        while (in >> v) rows.back().push_back(v);
    }
    return rows;
}

// SciPy's model values at bias.
inline std::vector<double> model(const sts::gap_curve& c, const std::vector<double>& bias) {
    std::vector<double> out;
    for (const auto& row : run("{\"mode\": \"model\", \"curve\": " + curve_json(c) +
                               ", \"bias\": " + numbers(bias) + "}"))
        out.push_back(row.empty() ? 0.0 : row[0]);
    return out;
}

}  // namespace gap_python

#endif
