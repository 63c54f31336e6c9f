// Writing a file in one piece: no partial file ever stands under its name.
#ifndef OUTPUT_ATOMIC_WRITE_H
#define OUTPUT_ATOMIC_WRITE_H

#include <string>
#include <string_view>

namespace sts {

// Writes contents to path through a temporary name of our own in the same
// folder (".<name>.part<pid>-<serial>", created exclusively, with the usual
// permissions under the umask), renamed over path when complete.  Safe to
// call from several threads at once.  false with *error ("cannot create a
// file in <folder>: ..." or "cannot write <path>: ...") when the folder is
// not writable, the disk is full or a size limit is hit; the temporary file
// is removed then and path is left as it was.
bool write_atomically(const std::string& path, std::string_view contents, std::string* error);

}  // namespace sts

#endif
