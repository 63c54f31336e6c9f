// Command-line switches and the help text.
#include <cstdio>
#include <string>

#include "normspec/normspec.h"
#include "sts/version.h"

void parse_switches(int* flags, int* count, int argc, const char* const* argv) {
    *flags = 0;
    *count = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr || arg[0] != '-') return;
        // Only the letter after the dash counts: -ne is -n, -help is -h.
        int bits = 0;
        switch (arg[1]) {
            case 'a': bits = SW_RAW | SW_EXP | SW_COFF; break;
            case 'c': bits = SW_COFF; break;
            case 'e': bits = SW_EXP; break;
            case 'h': bits = SW_HELP; break;
            case 'l': bits = SW_LOOP; break;
            case 'n': bits = SW_RAW; break;
            case 's': bits = SW_SUPPRESS; break;
            default: return;  // not a switch: the file list starts here
        }
        *flags |= bits;
        ++*count;
    }
}

std::string program_name(const char* argv0) {
    // Started with no argument vector (or an empty name): the tool's own name.
    std::string name = argv0 != nullptr && *argv0 != '\0' ? argv0 : "normspec";
    const std::size_t slash = name.rfind('\\');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    if (name.find('.') != std::string::npos) {
        // The first run of characters other than '.', as a tokenizer on "."
        // would return it (an all-dot name leaves nothing).
        const std::size_t begin = name.find_first_not_of('.');
        if (begin == std::string::npos) return "";
        const std::size_t end = name.find('.', begin);
        name = name.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    }
    return name;
}

void print_help(const char* argv0) {
    std::printf("\nThis is normspec v" STS_VERSION "\n\n");
    std::printf("Usage:\n\n");
    std::printf("%s [switches] [filelist]", program_name(argv0).c_str());
    std::printf("\n\nThe following switches are supported:\n");
    std::printf("-l Loop sequentially over files s#, # being an integer\n");
    std::printf("-n Output raw result (no broadening etc)\n");
    std::printf("-e Output result with broadening by convolution with exponential\n");
    std::printf("-c Output result with broadening by offset\n");
    std::printf("-a Equivalent to -n -e -c (Default)\n");
    std::printf("-s Suppress output other than normalised curve\n");
    std::printf("-h Display this help\n\n");
}
