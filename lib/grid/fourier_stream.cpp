// Slices worked on threads and handed on in order: see fourier_stream.h.
#include "grid/fourier_stream.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace sts {

bool ordered_slices(size_t n, unsigned workers, const std::function<bool(size_t, unsigned)>& work,
                    const std::function<bool(size_t, unsigned)>& deliver) {
    workers = static_cast<unsigned>(std::clamp<size_t>(workers, 1, std::max<size_t>(n, 1)));
    std::mutex lock;
    std::condition_variable changed;
    std::vector<bool> ready(workers, 0);  // worker w's slice waits to be delivered
    bool stop = false;
    auto worker = [&](unsigned w) {
        for (size_t k = w; k < n; k += workers) {
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return stop || !ready[w]; });
                if (stop) return;
            }
            const bool ok = work(k, w);
            {
                const std::lock_guard<std::mutex> hold(lock);
                if (ok) ready[w] = true;
                else stop = true;
            }
            changed.notify_all();
            if (!ok) return;
        }
    };
    std::vector<std::thread> team;
    for (unsigned w = 0; w < workers; ++w) team.emplace_back(worker, w);
    bool ok = true;
    for (size_t k = 0; k < n && ok; ++k) {
        const unsigned w = static_cast<unsigned>(k % workers);
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return stop || ready[w]; });
            if (stop) break;
        }
        ok = deliver(k, w);
        {
            const std::lock_guard<std::mutex> hold(lock);
            ready[w] = false;
            if (!ok) stop = true;
        }
        changed.notify_all();
    }
    for (std::thread& t : team) t.join();
    return ok && !stop;
}

}  // namespace sts
