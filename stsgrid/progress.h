// A progress line on standard error while a grid runs, only when standard
// error is a terminal (a log file gets no carriage returns).
#ifndef STSGRID_PROGRESS_H
#define STSGRID_PROGRESS_H

#include <chrono>
#include <cstdint>

namespace sts {

class progress_line {
public:
    progress_line(uint64_t total, bool wanted);
    // Pixels done so far; redraws at most a few times a second.
    void update(uint64_t done);
    // Ends the line.
    void finish();

private:
    using clock = std::chrono::steady_clock;
    void draw(uint64_t done);
    uint64_t total_;
    bool shown_;
    clock::time_point start_, last_;
};

}  // namespace sts

#endif
