// Work that runs beside the calling thread when the system gives a thread
// for it, and on the calling thread, at once, when it does not: a machine
// out of threads makes the run slower, not a failure.
#ifndef GRID_SIDE_TASK_H
#define GRID_SIDE_TASK_H

#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace sts {

class side_task {
public:
    explicit side_task(std::function<void()> work) {
        try {
            thread_ = std::thread(work);
        } catch (const std::system_error&) {
            work();
        }
    }
    side_task(const side_task&) = delete;
    side_task& operator=(const side_task&) = delete;
    ~side_task() { wait(); }
    // Returns once the work is done.
    void wait() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

}  // namespace sts

#endif
