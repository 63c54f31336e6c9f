// The floor for normspec's speed: reads every file's pairs as normspec does
// and writes the same six result files with the same number of rows in the
// same format, with no computation between.
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<float> bias(10000), current(10000);
    for (int k = 1; k < argc; ++k) {
        std::FILE* in = std::fopen(argv[k], "r");
        if (in == nullptr) continue;
        int n = 0;
        while (n < 10000 && std::fscanf(in, "%f%f", &bias[n], &current[n]) == 2) ++n;
        std::fclose(in);
        std::printf("%s: %d data points read ..done\n", argv[k], n);
        const char* suffixes[] = {"didv.txt", "iv.txt", "i.txt", "exp.txt", "coff.txt", "raw.txt"};
        for (const char* suffix : suffixes) {
            const std::string name = std::string(argv[k]) + suffix;
            std::FILE* out = std::fopen(name.c_str(), "w");
            const int rows = (suffix == suffixes[1] || suffix == suffixes[2]) ? n : n - 1;
            for (int j = 0; j < rows; ++j) std::fprintf(out, "%f %s %f\n", bias[j], " ", current[j]);
            std::fclose(out);
        }
    }
    return 0;
}
