// stsview's command line from its option table: values after '=' or in the
// next argument, the messages of wrong ones, and --help's options block.
#include <gtest/gtest.h>

#include <vector>

#include "stsview/options.h"

namespace {

sts::view_parse parse(std::vector<std::string> args, sts::view_options* o, std::string* error) {
    args.insert(args.begin(), "stsview");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return sts::parse_view_options(static_cast<int>(argv.size()), argv.data(), o, error);
}

}  // namespace

TEST(ViewOptions, ValuesEitherWay) {
    sts::view_options o;
    std::string error;
    ASSERT_EQ(parse({"--port=8080", "--host", "0.0.0.0", "-o=g.nc", "--assets", "web", "--open",
                     "--", "-x.3ds"}, &o, &error), sts::view_parse::run) << error;
    EXPECT_EQ(o.port, 8080);
    EXPECT_EQ(o.host, "0.0.0.0");
    EXPECT_EQ(o.output, "g.nc");
    EXPECT_EQ(o.assets, "web");
    EXPECT_TRUE(o.open);
    EXPECT_EQ(o.files, std::vector<std::string>{"-x.3ds"});
    sts::view_options p;
    ASSERT_EQ(parse({"--output", "h.nc", "g.3ds"}, &p, &error), sts::view_parse::run);
    EXPECT_EQ(p.output, "h.nc");
}

TEST(ViewOptions, CommandsAndMistakes) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"--port"}, "--port needs a value"},
        {{"--output"}, "--output needs a value"},
        {{"--port=70000", "g.nc"},
         "--port must be a number from 0 to 65535 (0: a free port), not '70000'"},
        {{"--host=", "g.nc"}, "--host needs an address"},
        {{"--output=", "g.nc"}, "-o needs a file name"},
        {{"--open=1", "g.nc"}, "unknown option '--open=1'"},
        {{"--por", "g.nc"}, "unknown option '--por'"},
        {{}, "no file named: give the grid's netCDF file (or any input stsgrid takes)"}};
    for (const auto& [args, message] : wrong) {
        sts::view_options o;
        std::string error;
        EXPECT_EQ(parse(args, &o, &error), sts::view_parse::error) << message;
        EXPECT_EQ(error, message);
    }
    sts::view_options o;
    std::string error;
    EXPECT_EQ(parse({"g.nc", "-h"}, &o, &error), sts::view_parse::help);
    EXPECT_EQ(parse({"--help"}, &o, &error), sts::view_parse::help);
    EXPECT_EQ(parse({"--version", "--port"}, &o, &error), sts::view_parse::version);
}

// The options block as it was typed out before the table.
TEST(ViewOptions, HelpListsTheOptions) {
    EXPECT_NE(sts::view_usage().find(
                  "replaced.\n\n"
                  "  -o, --output FILE  the netCDF file of the one computed grid\n"
                  "  --port N     listen on port N (default 0: a free port)\n"
                  "  --host H     listen on address H instead of 127.0.0.1 (other machines can\n"
                  "               then reach the page; the token still guards it)\n"
                  "  --open       open the page in the desktop's browser (xdg-open)\n"
                  "  --assets DIR the page's files from DIR (default: the installed ones)\n"
                  "  -h, --help   this text\n"
                  "  --version    the version\n"
                  "\nstsview prints"),
              std::string::npos);
}
