// The progress line: a bar, the count and the rate.
#include "stsgrid/progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace sts {

progress_line::progress_line(uint64_t total, bool wanted)
    : total_(total), shown_(wanted && isatty(STDERR_FILENO) == 1),
      start_(clock::now()), last_(start_) {}

void progress_line::update(uint64_t done) {
    if (!shown_) return;
    const auto now = clock::now();
    if (now - last_ < std::chrono::milliseconds(200) && done < total_) return;
    last_ = now;
    draw(done);
}

void progress_line::draw(uint64_t done) {
    const double seconds = std::chrono::duration<double>(clock::now() - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    constexpr int width = 30;
    const int filled = total_ > 0 ? static_cast<int>(width * done / total_) : width;
    const std::string bar = std::string(static_cast<size_t>(filled), '#') +
                            std::string(static_cast<size_t>(width - filled), '.');
    std::fprintf(stderr, "\r[%s] %llu/%llu pixels, %.0f pixels/s ", bar.c_str(),
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_),
                 rate);
    std::fflush(stderr);
}

void progress_line::finish() {
    if (!shown_) return;
    draw(total_);
    std::fputc('\n', stderr);
}

}  // namespace sts
