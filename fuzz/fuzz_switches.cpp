// Switch parsing and the program-name rule on arbitrary argument lists
// (arguments separated by NUL bytes, the first being argument 0).
#include <string>

#include "fuzz/fuzz_input.h"
#include "normspec/normspec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back().push_back(static_cast<char>(data[i]));
    }
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());
    int flags = -1, count = -1;
    parse_switches(&flags, &count, argc, argv.data());
    fuzz_check(count >= 0 && count <= argc - 1, "count within the arguments");
    fuzz_check((flags & ~(SW_LOOP | SW_RAW | SW_EXP | SW_COFF | SW_SUPPRESS | SW_HELP)) == 0,
               "known bits only");
    for (int i = 1; i <= count; ++i) fuzz_check(args[i].size() >= 2 && args[i][0] == '-', "switch");
    if (count + 1 < argc) {
        const std::string& first_file = args[count + 1];
        const bool is_switch = first_file.size() >= 2 && first_file[0] == '-' &&
                               std::string("acehlns").find(first_file[1]) != std::string::npos;
        fuzz_check(!is_switch, "parsing stops at the first non-switch");
    }
    const std::string name = program_name(argv[0]);
    fuzz_check(name.find('.') == std::string::npos, "the name has no dot");
    fuzz_check(name.size() <= args[0].size() || args[0].empty(), "the name is a piece of argv[0]");
    return 0;
}
