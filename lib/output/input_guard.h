// The one rule of every writer about its inputs: an output never replaces
// one of them, whatever names lead to either.
#ifndef OUTPUT_INPUT_GUARD_H
#define OUTPUT_INPUT_GUARD_H

#include <string>
#include <vector>

#include <sys/types.h>

namespace sts {

class input_guard {
public:
    // Notes which files the inputs are (those that do not exist are no
    // file to protect).
    explicit input_guard(const std::vector<std::string>& inputs);

    // The input (as it was named) that writing output would replace, or ""
    // when none.  The same file is the same device and inode, reached with
    // every link followed -- the file atomic_file replaces.  So a link to an
    // input, a path through a linked folder, and another hard link of an
    // input all count as that input: a hard link's old contents would
    // survive under the input's name, but the user who named it surely
    // meant the input, and another name costs nothing.
    std::string replaced_input(const std::string& output) const;

private:
    struct file {
        dev_t device;
        ino_t inode;
        std::string name;
    };
    std::vector<file> inputs_;
};

}  // namespace sts

#endif
