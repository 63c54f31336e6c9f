// The hand-off between the threads that compute blocks of pixels and the
// stages that take them on (writing the file, gathering statistics): blocks
// are computed in any order, every stage takes every block in pixel order,
// each stage on a thread of its own, and a block's storage is used again
// once the slowest stage has passed it.  A window bounds the blocks in
// flight, so memory does not grow with the grid.
#ifndef GRID_BLOCK_QUEUE_H
#define GRID_BLOCK_QUEUE_H

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "grid/grid_run.h"

namespace sts {

// A block's storage, reused from block to block.
struct block_slot {
    pixel_block results;
    input_block inputs;
};

class block_queue {
public:
    // blocks in all, at most window of them computed or being computed
    // ahead of the slowest of `stages` stages.
    block_queue(uint64_t blocks, uint64_t window, int stages);

    // For a computing thread: the next block to compute and a slot for it;
    // false when there is none or the run stopped.
    bool take(uint64_t* index, std::unique_ptr<block_slot>* slot);
    // The computed block, handed to the stages.
    void finish(uint64_t index, std::unique_ptr<block_slot> slot);

    // For a stage: the block with this index once computed, which the stage
    // reads until it passes it on; nullptr when the run stopped.
    const block_slot* wait_for(uint64_t index);
    void pass(uint64_t index);

    // Ends the run: every wait returns.
    void stop();
    bool stopped();

private:
    struct computed {
        std::unique_ptr<block_slot> slot;
        int stages_left = 0;
    };
    std::mutex mutex_;
    std::condition_variable space_, ready_;
    std::map<uint64_t, computed> done_;
    std::vector<std::unique_ptr<block_slot>> free_;
    const uint64_t blocks_, window_;
    const int stages_;
    uint64_t next_ = 0, passed_ = 0;  // passed_: blocks every stage is done with
    bool stop_ = false;
};

}  // namespace sts

#endif
