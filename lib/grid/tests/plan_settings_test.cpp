// A plan's settings by name: each value lands in its field as written
// (worked by hand from the option's text), a wrong one gives stsgrid's
// message and leaves the plan's field alone, and the checks between
// settings refuse what the command line refuses.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/plan_settings.h"

using namespace sts;

namespace {

// The plan with one setting, else the message.
grid_plan with(const std::string& name, const std::string& value, std::string* error = nullptr) {
    grid_plan p;
    plan_given given;
    std::string e;
    const bool ok = set_plan_value(name, value, &p, &given, &e);
    if (error) *error = ok ? "" : e;
    return p;
}

std::string message(const std::string& name, const std::string& value) {
    std::string error;
    with(name, value, &error);
    return error;
}

}  // namespace

TEST(PlanSettings, ValuesLandInTheirFields) {
    EXPECT_EQ(with("jobs", "4").threads, 4);
    const grid_plan s = with("smooth", "11:3");
    EXPECT_EQ(s.smooth_window, 11);
    EXPECT_EQ(s.smooth_order, 3);
    EXPECT_EQ(with("smooth", "7").smooth_order, 2);  // the default degree
    const pixel_region r = with("region", "1:4,2:5").region;
    EXPECT_TRUE(r.given);
    EXPECT_EQ(std::vector<long>({r.x0, r.x1, r.y0, r.y1}), std::vector<long>({1, 4, 2, 5}));
    const gap_request g = with("gap", "0.5:norm_exp").gap;
    EXPECT_TRUE(g.given);
    EXPECT_EQ(g.threshold, 0.5f);
    EXPECT_EQ(g.variable, "norm_exp");
    EXPECT_EQ(with("gap", "2e-3").gap.threshold, 0.002f);
    EXPECT_EQ(with("gap", "0.5").gap.variable, "");
    const grid_plan m = with("map", "-0.5,0,gap");
    EXPECT_EQ(m.maps, std::vector<double>({-0.5, 0.0}));
    EXPECT_TRUE(m.gap_map);
    const pixel_line l = with("line", "0,1:5,4").line;
    EXPECT_TRUE(l.given);
    EXPECT_EQ(std::vector<long>({l.x0, l.y0, l.x1, l.y1}), std::vector<long>({0, 1, 5, 4}));
    EXPECT_EQ(with("line-vars", "didv,norm_raw").line_vars,
              std::vector<std::string>({"didv", "norm_raw"}));
    EXPECT_EQ(with("exp-width", "0.2").norm.exp_width, 0.2f);
    EXPECT_EQ(with("coff-offset", "1e-3").norm.coff_offset, 0.001f);
    EXPECT_EQ(with("didv-channel", "LockinX (V)").import.signal_channel, "LockinX (V)");
    EXPECT_EQ(with("lockin-fit", "pixel").lockin_fit, lockin_fit_mode::pixel);
    EXPECT_EQ(with("lockin-min-r2", "0.25").lockin_min_r2, 0.25f);
    EXPECT_EQ(with("output", "a b.nc").output, "a b.nc");
    EXPECT_EQ(with("pointmean", "pm.txt").pointmean, "pm.txt");
}

TEST(PlanSettings, WrongValuesAreStsgridsMessages) {
    EXPECT_EQ(message("jobs", "0"), "jobs must be a whole number from 1 to 1024, not '0'");
    EXPECT_EQ(message("jobs", "2x"), "jobs must be a whole number from 1 to 1024, not '2x'");
    EXPECT_EQ(message("smooth", "4"),
              "the smoothing window must be an odd number of points from 1 to 9999 (so that it "
              "is centred on a point), not 4");
    EXPECT_EQ(message("smooth", "5:5"),
              "the smoothing order must be from 0 to 12 and below the window of 5 points, not 5; "
              "widen the window or lower the order");
    EXPECT_EQ(message("region", "3:1,0:1"),
              "region must be x0:x1,y0:y1 (pixel numbers from 0, inclusive), not '3:1,0:1'");
    EXPECT_EQ(message("exp-width", "-1"),
              "exp-width must be a positive number of bias units, not '-1'");
    EXPECT_EQ(message("exp-width", "nan"),
              "exp-width must be a positive number of bias units, not 'nan'");
    EXPECT_EQ(message("lockin-fit", "line"), "lockin-fit must be pixel or grid, not 'line'");
    EXPECT_EQ(message("lockin-min-r2", "1.5"),
              "lockin-min-r2 must be a number from 0 to 1, not '1.5'");
    EXPECT_EQ(message("gap", "x"), "gap must be a threshold T or T:VARIABLE, not 'x'");
    EXPECT_NE(message("gap", "-1").find("must be above 0"), std::string::npos);
    EXPECT_NE(message("output", "").find("an empty file name"), std::string::npos);
    EXPECT_NE(message("gap", "0.5:didv").find("gap variable must be one of "), std::string::npos);
    EXPECT_NE(message("line-vars", "status").find(", not 'status'"), std::string::npos);
    EXPECT_EQ(with("exp-width", "-1").norm.exp_width, grid_plan{}.norm.exp_width);
}

TEST(PlanSettings, NamesAreTheLongOptions) {
    for (const char* name : {"output", "jobs", "region", "map", "pointmean", "line", "line-vars",
                             "exp-width", "coff-offset", "smooth", "gap", "gap-window",
                             "didv-channel", "lockin-fit", "lockin-min-r2"})
        EXPECT_TRUE(is_plan_setting(name)) << name;
    for (const char* name : {"-j", "--jobs", "threads", "channel", "mean-plot", ""})
        EXPECT_FALSE(is_plan_setting(name)) << name;
}

TEST(PlanSettings, ChecksBetweenSettings) {
    std::string error;
    grid_plan p;
    plan_given given;
    p.line_vars = {"didv"};
    EXPECT_FALSE(finish_plan(&p, given, &error));
    EXPECT_EQ(error, "line-vars chooses the pictures of a line cut: give the line with --line");
    p = {};
    given.lockin_fit = true;
    EXPECT_FALSE(finish_plan(&p, given, &error));
    EXPECT_EQ(error, "--lockin-fit calibrates the channel of --didv-channel, which is not given");
    p.import.signal_channel = "LockinX (V)";
    given.lockin_min_r2 = true;
    EXPECT_FALSE(finish_plan(&p, given, &error));
    EXPECT_EQ(error, "--lockin-min-r2 marks the pixels of --lockin-fit=pixel, which is not given");
    p.lockin_fit = lockin_fit_mode::pixel;
    EXPECT_TRUE(finish_plan(&p, given, &error));
    p = {};
    given = {};
    p.gap.window = 0.1f;
    EXPECT_FALSE(finish_plan(&p, given, &error));
    EXPECT_EQ(error, "--gap-window needs --gap=T");
    p = {};
    p.gap_map = true;
    EXPECT_FALSE(finish_plan(&p, given, &error));
    EXPECT_EQ(error, "--map=gap needs --gap=T");
    // --gap with maps at biases draws the gap's maps too.
    p = {};
    p.gap.given = true;
    p.maps = {0.1};
    EXPECT_TRUE(finish_plan(&p, given, &error));
    EXPECT_TRUE(p.gap_map);
}

// The settings stsgrid's lock-in, fit, Fourier and scan options give: each
// value in its field, as the option's text says.
TEST(PlanSettings, LockinFitFourierAndScanValues) {
    EXPECT_EQ(with("lockin-cal", "amplitude").lockin_cal, lockin_cal_mode::amplitude);
    EXPECT_TRUE(with("force", "").import.signal_any_unit);
    const fit_request f = with("fit", "dynes-sis:didv").fit;
    EXPECT_TRUE(f.given);
    EXPECT_EQ(f.settings.model, gap_model::dynes_sis);
    EXPECT_EQ(f.variable, "didv");
    EXPECT_EQ(with("fit-window", "2.5e-3").fit.settings.window, 2.5e-3);
    const gap_fit_settings t = with("fit-temperature", "4.2:free").fit.settings;
    EXPECT_EQ(t.temperature, 4.2);
    EXPECT_TRUE(t.fit_temperature);
    EXPECT_FALSE(with("fit-tip-gap", "1.1").fit.settings.fit_tip_gap);
    EXPECT_EQ(with("fit-tip-gamma", "0.02").fit.settings.tip_gamma, 0.02);
    EXPECT_EQ(with("fit-modulation", "1e-4").fit.settings.modulation, 1e-4);
    const gap_fit_settings free = with("fit-free", "background,offset").fit.settings;
    EXPECT_TRUE(free.fit_offset && free.fit_background);
    const grid_plan q = with("fft", "norm_coff");
    EXPECT_TRUE(q.fft.given);
    EXPECT_EQ(q.fft.variable, "norm_coff");
    EXPECT_FALSE(with("fft-window", "none").fft.hann);
    EXPECT_EQ(with("symmetrise", "6mm").fft.group, "6mm");
    EXPECT_TRUE(with("bragg", "").fft.find_bragg);
    const fourier_request b = with("bragg", "1,2:-3,4.5").fft;
    EXPECT_TRUE(b.bragg_given);
    EXPECT_EQ(std::vector<double>({b.q1x, b.q1y, b.q2x, b.q2y}),
              std::vector<double>({1, 2, -3, 4.5}));
    const fourier_request d = with("drift-correct", "1.5").fft;
    EXPECT_TRUE(d.drift);
    EXPECT_EQ(d.drift_lambda, 1.5);
    EXPECT_EQ(with("drift-correct", "").fft.drift_lambda, 0.0);
    EXPECT_EQ(with("topography", "s.sxm").topography, "s.sxm");
    EXPECT_EQ(with("topography-channel", "Current").topography_channel, "Current");
    EXPECT_TRUE(with("topography-direction", "backward").topography_backward);
    for (const char* name : {"lockin-cal", "force", "fit", "fit-free", "fft", "bragg",
                             "drift-correct", "topography-direction"})
        EXPECT_TRUE(is_plan_setting(name)) << name;
}

TEST(PlanSettings, LockinFitFourierAndScanMessages) {
    EXPECT_EQ(message("lockin-cal", "x"), "lockin-cal must be fit or amplitude, not 'x'");
    EXPECT_EQ(message("fit", "bcs"),
              "fit must be dynes or dynes-sis, optionally :VARIABLE, not 'bcs'");
    EXPECT_EQ(message("fit-window", "0"),
              "fit-window must be E with a value above 0 and below 1e30 bias units (the "
              "half-width around 0), not '0'");
    EXPECT_EQ(message("fit-temperature", "2:fixed"),
              "fit-temperature must be T or T:free with a value above 0 and below 1e30 K, "
              "not '2:fixed'");
    EXPECT_EQ(message("fit-free", "offset,slope"),
              "fit-free takes offset and background (comma-separated), not 'slope'");
    EXPECT_EQ(message("fft-window", "hamming"), "fft-window must be hann or none, not 'hamming'");
    EXPECT_EQ(message("bragg", "1,2"),
              "bragg must be auto or two vectors Q1X,Q1Y:Q2X,Q2Y in nm^-1, not '1,2'");
    EXPECT_EQ(message("drift-correct", "-2"),
              "drift-correct takes a positive length LAMBDA in nm, not '-2'");
    EXPECT_EQ(message("topography-direction", "up"),
              "topography-direction must be forward or backward, not 'up'");
}

TEST(PlanSettings, ChecksOfLockinFitFourierAndScan) {
    const auto refusal = [](const std::vector<std::pair<std::string, std::string>>& settings) {
        grid_plan p;
        plan_given given;
        std::string error;
        for (const auto& [name, value] : settings)
            EXPECT_TRUE(set_plan_value(name, value, &p, &given, &error)) << error;
        return finish_plan(&p, given, &error) ? std::string() : error;
    };
    EXPECT_EQ(refusal({{"lockin-cal", "fit"}}),
              "--lockin-cal calibrates the channel of --didv-channel, which is not given");
    EXPECT_EQ(refusal({{"force", ""}}),
              "--force lets --didv-channel take a channel of any unit; --didv-channel is not "
              "given");
    EXPECT_EQ(refusal({{"didv-channel", "X (A)"}, {"lockin-cal", "amplitude"},
                       {"lockin-fit", "pixel"}}),
              "--lockin-cal=amplitude gives one scale for the grid; --lockin-fit=pixel fits "
              "one for each pixel: choose one");
    EXPECT_EQ(refusal({{"fit-window", "1"}}),
              "the --fit-* options set the gap fit of --fit=dynes|dynes-sis, which is not given");
    EXPECT_EQ(refusal({{"fit", "dynes"}, {"fit-tip-gamma", "1"}}),
              "--fit-tip-gap and --fit-tip-gamma are the superconducting tip's: they need "
              "--fit=dynes-sis");
    EXPECT_EQ(refusal({{"bragg", "auto"}}), "--bragg works on the Fourier maps: give --fft as well");
    EXPECT_EQ(refusal({{"topography-direction", "forward"}}),
              "--topography-direction chooses the image of --topography=FILE.sxm, which is not "
              "given");
    EXPECT_EQ(refusal({{"didv-channel", "X (A)"}, {"lockin-cal", "amplitude"}, {"force", ""},
                       {"fit", "dynes-sis"}, {"fit-tip-gap", "1"}, {"fft", ""},
                       {"symmetrise", "4mm"}, {"topography", "s.sxm"},
                       {"topography-channel", "Z"}}),
              "");
    // --fit with maps at biases draws the fit's maps.
    grid_plan p;
    plan_given given;
    std::string error;
    p.fit.given = true;
    p.maps = {0.1};
    EXPECT_TRUE(finish_plan(&p, given, &error));
    EXPECT_TRUE(p.fit_map);
}
