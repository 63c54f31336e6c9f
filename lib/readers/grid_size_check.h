// Whether a grid file's pixels agree with the size its header declares.
//
// The header's Grid dim sets the size of everything written from the
// file: a 374 KB file whose header was edited to declare 3000 x 3000
// pixels wrote 52 GB of missing pixels in a minute.  And a channel list
// that leaves out channels gives pixels of the wrong length, read as
// currents of -1.8e9 nA.  So the bytes after the header are held against
// the header:
//   - more than one whole pixel beyond the declared ones: the header is
//     wrong about the layout (the files the instrument writes end with the
//     last pixel), refused;
//   - fewer than half the declared pixels: refused unless the reader is
//     asked for a partial grid (--partial), since a run stopped early is
//     usually stopped near its end, and the rest become missing pixels;
//   - fewer than 1/256 of them: refused even then, so that what is written
//     stays within 256 times what the file's own pixels fill (a 256 x 256
//     grid stopped after its first row still reads).
#ifndef READERS_GRID_SIZE_CHECK_H
#define READERS_GRID_SIZE_CHECK_H

#include <cstdint>
#include <string>

namespace sts {

// The most missing pixels a partial grid may have per pixel present, plus one.
constexpr uint64_t PARTIAL_GRID_RATIO = 256;

// true when data_bytes (the bytes after the header) fit declared pixels of
// pixel_bytes each (> 0) as above; false with *error otherwise.
bool check_grid_size(uint64_t declared, uint64_t pixel_bytes, uint64_t data_bytes, bool partial,
                     std::string* error);

}  // namespace sts

#endif
