// pointmean's two ways of reading a file on from point to point (kept open,
// or opened anew and resumed) against reading i pairs from the start for
// point i, over a few files of arbitrary bytes.
#include "fuzz/fuzz_input.h"
#include "pointmean/pointmean.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int files = 1 + data[0] % 4;
    const int points = 1 + data[1] % 24;
    // Split the rest into the files' contents at 0xFF bytes.
    std::vector<std::vector<uint8_t>> contents(files);
    int k = 0;
    for (size_t i = 2; i < size; ++i) {
        if (data[i] == 0xFF && k + 1 < files)
            ++k;
        else
            contents[k].push_back(data[i]);
    }
    // fmemopen needs a buffer of at least one byte: an empty file is given
    // as a lone NUL, which no read gets past either.
    for (auto& c : contents)
        if (c.empty()) c.push_back(0);
    auto open = [&](int file) { return fmemopen(contents[file].data(), contents[file].size(), "r"); };

    std::vector<file_state> states(files), kept_states(files);
    std::vector<std::FILE*> kept(files);
    for (int f = 0; f < files; ++f) kept[f] = open(f);
    float rx = 0.0f, ry = 0.0f;  // resumed
    float kx = 0.0f, ky = 0.0f;  // kept open
    float mx = 0.0f, my = 0.0f;  // re-read model
    for (int i = 1; i <= points; ++i) {
        for (int f = 0; f < files; ++f) {
            std::FILE* in = open(f);
            read_next_pair(in, &states[f], &rx, &ry);
            std::fclose(in);
            read_pair(kept[f], &kept_states[f], &kx, &ky);
            in = open(f);
            for (int r = 0; r < i; ++r) (void)std::fscanf(in, "%f%f", &mx, &my);
            std::fclose(in);
            fuzz_check(std::memcmp(&rx, &mx, 4) == 0 && std::memcmp(&ry, &my, 4) == 0,
                       "resumed reads give the re-read pair");
            fuzz_check(std::memcmp(&kx, &mx, 4) == 0 && std::memcmp(&ky, &my, 4) == 0,
                       "reads of a kept file give the re-read pair");
        }
    }
    for (std::FILE* f : kept) std::fclose(f);
    return 0;
}
