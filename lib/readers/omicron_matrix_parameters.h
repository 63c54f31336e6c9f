// The Omicron MATRIX parameter file (*_0001.mtrx): what it says about one
// of the data files of its session.
//
// The file is a time-ordered series of blocks (layout in
// omicron_matrix_cursor.h; names and contents as pyMTRX and
// access2thematrix read them):
//   EEPA  the initial settings: 4 bytes, a count of groups, each a name
//         and a count of settings, each a name, a unit, 4 bytes, a value
//   PMOD  one setting changed: 4 bytes, group, name, unit, 4 bytes, value
//   CCSY  the channel dictionary: 4 bytes, then untimed blocks
//           DICT  8 bytes, then three counted lists: independent axes
//                 (uint64 key, uint64 next axis, name, "linear" or
//                 "triangular"), dependent axes (key, axis key, name,
//                 unit), channels (key, dependent axis key, description)
//           CHCS  counted lists: axes (key, points, 2 x uint32),
//                 dependent axes (key, 2 x uint32), channels (key,
//                 2 x uint32)
//           XFER  until its end: dependent axis key, transfer function
//                 name, unit, a count of parameters, each a name and a value
//   BREF  a data file written: 4 bytes, its name
// Other blocks (META, EXPD, INCI, MARK, PROC, VIEW, ...) are passed over.
#ifndef READERS_OMICRON_MATRIX_PARAMETERS_H
#define READERS_OMICRON_MATRIX_PARAMETERS_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "readers/omicron_matrix_cursor.h"

namespace sts {

// From raw counts to the channel's unit: "TFF_Linear1D" (counts - Offset) /
// Factor, "TFF_MultiLinear1D" (Raw_1 - PreOffset) * (counts - Offset) /
// (NeutralFactor * PreFactor), "TFF_Identity" the counts.
struct matrix_transfer {
    std::string function;
    std::string unit;
    std::map<std::string, double> parameters;
};

// A recorded channel as the dictionary in force describes it.
struct matrix_channel {
    std::string name;          // "I(V)"
    std::string unit;          // "A"
    std::string axis;          // its independent axis, "Default::Spectroscopy::V"
    bool mirrored = false;     // "triangular": the axis runs there and back
    uint32_t axis_points = 0;  // the axis's length from CHCS (0 when none is given)
    bool has_transfer = false;
    matrix_transfer transfer;
};

struct matrix_setting {
    matrix_value value;
    std::string unit;          // "Volt", "Count", "--", ...
};

// What held when a data file was written: the initial settings with every
// later change up to the file's BREF, and the last channel dictionary
// before it.
struct matrix_experiment {
    std::map<std::string, matrix_setting> settings;    // "Spectroscopy.Device_1_Points"
    std::map<uint64_t, matrix_channel> channels;        // by channel key
};

// Reads the parameter file's blocks up to the BREF of data_name (a file
// name without folder).  false with *error when the bytes are not a MATRIX
// parameter file, a block is cut short or damaged, or no BREF names
// data_name.
bool read_matrix_parameters(std::string_view bytes, const std::string& data_name,
                            matrix_experiment* e, std::string* error);

}  // namespace sts

#endif
