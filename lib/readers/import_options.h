// What to take from an instrument file: channel, direction, sweeps, units.
#ifndef READERS_IMPORT_OPTIONS_H
#define READERS_IMPORT_OPTIONS_H

#include <string>

#include "readers/file_format.h"

namespace sts {

enum class direction { forward, backward, mean };

// "fwd", "bwd" or "mean": the name the command line takes and the files show.
inline const char* direction_name(direction d) {
    return d == direction::forward ? "fwd" : d == direction::backward ? "bwd" : "mean";
}

struct import_options {
    std::string channel = "Current";   // the current channel, case ignored
    std::string bias_channel;          // "" = "Bias calc", then "Bias", "Voltage", "V"
    direction dir = direction::forward;
    bool each_sweep = false;           // one spectrum per numbered sweep
    int sweep = 0;                     // > 0: only numbered sweep [0000K], else all averaged
    // A measured dI/dV channel (a lock-in output, "LockinX (V)") read
    // beside the current into imported_spectrum::signal; "" = none.
    std::string signal_channel;
    // Whether that channel is read whatever its unit; otherwise one in a
    // unit that is neither a current's nor a voltage's (a phase in deg, a
    // frequency in Hz) is refused: it is no lock-in's dI/dV.
    bool signal_any_unit = false;
    double bias_scale = 1.0;           // output unit per volt (1 or 1e3)
    double current_scale = 1e9;        // output unit per ampere (1e9 or 1e12)
    // Whether the output units were given; a column whose name gives no unit
    // is then taken to be in that unit (and refused otherwise).
    bool bias_unit_given = false;
    bool current_unit_given = false;
    // --current-gain: the gain (V/A) of a pre-amplifier whose output, in
    // volts, a file records as its current column (current = value / gain);
    // 0 = none, and such a column is refused.
    double current_gain = 0;
    file_format format = file_format::automatic;
    // Whether a grid holding fewer than half the pixels its header declares
    // is read (see grid_size_check.h); refused otherwise.
    bool partial = false;
};

}  // namespace sts

#endif
