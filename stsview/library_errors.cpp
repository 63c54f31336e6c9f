// HDF5's printing of its error stack, off per thread: see library_errors.h.
#include "stsview/library_errors.h"

#include <hdf5.h>

namespace sts {

void quiet_library_errors() {
    thread_local bool quiet = false;
    if (quiet) return;
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    quiet = true;
}

}  // namespace sts
