// The hand-off of computed blocks to the stages.
#include "grid/block_queue.h"

namespace sts {

block_queue::block_queue(uint64_t blocks, uint64_t window, int stages)
    : blocks_(blocks), window_(window), stages_(stages) {}

bool block_queue::take(uint64_t* index, std::unique_ptr<block_slot>* slot) {
    std::unique_lock<std::mutex> lock(mutex_);
    space_.wait(lock, [&] { return stop_ || next_ >= blocks_ || next_ < passed_ + window_; });
    if (stop_ || next_ >= blocks_) return false;
    *index = next_++;
    if (free_.empty()) {
        *slot = std::make_unique<block_slot>();
    } else {
        *slot = std::move(free_.back());
        free_.pop_back();
    }
    return true;
}

void block_queue::finish(uint64_t index, std::unique_ptr<block_slot> slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    done_[index] = computed{std::move(slot), stages_};
    ready_.notify_all();
}

const block_slot* block_queue::wait_for(uint64_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return stop_ || done_.count(index) > 0; });
    if (stop_) return nullptr;
    // The map's nodes stay where they are while others come and go.
    return done_[index].slot.get();
}

// Stages pass blocks in order, so the last stage to pass a block is the
// slowest, and blocks are done with in order too.
void block_queue::pass(uint64_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto at = done_.find(index);
    if (at == done_.end() || --at->second.stages_left > 0) return;
    free_.push_back(std::move(at->second.slot));
    done_.erase(at);
    ++passed_;
    space_.notify_all();
}

void block_queue::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    space_.notify_all();
    ready_.notify_all();
}

bool block_queue::stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

}  // namespace sts
