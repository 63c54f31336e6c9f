// HDF5's own printing of its error stack, off on every thread that reads.
// netCDF turns that printing off once, on the thread of the first file it
// opens; HDF5 built thread-safe (as Debian builds it) keeps the setting per
// thread, so that any other thread's netCDF calls print HDF5's diagnostics
// of netCDF's own probes (an attribute `_QuantizeBitGroomNumberOfSignificantDigits`
// looked for and not found, for every variable of a file newly opened) to
// standard error: kilobytes a request from the server's workers, and a
// server whose standard error nobody reads stops when the pipe is full.
// The failures themselves still reach stsview through netCDF's statuses.
#ifndef STSVIEW_LIBRARY_ERRORS_H
#define STSVIEW_LIBRARY_ERRORS_H

namespace sts {

// Turns HDF5's printing off for the calling thread (once a thread).
void quiet_library_errors();

}  // namespace sts

#endif
