// One spectrum as the readers deliver it.
#ifndef READERS_IMPORTED_SPECTRUM_H
#define READERS_IMPORTED_SPECTRUM_H

#include <string>
#include <vector>

namespace sts {

// One spectrum as imported, in the instrument's point order, in the output
// units of the import options (V or mV, nA or pA).  bias and current have
// the same length; so has signal when a measured dI/dV channel was asked
// for (import_options::signal_channel), and it is empty otherwise.
struct imported_spectrum {
    std::vector<double> bias;
    std::vector<double> current;
    // The measured dI/dV channel (a lock-in output) as stored, in its own
    // unit: it is calibrated against the current later, so no unit is
    // converted here.  Selected by the same direction and sweep rule as the
    // current.
    std::vector<double> signal;
    std::string source;       // the input file as the caller named it
    int pixel_x = -1;         // grid position, or -1
    int pixel_y = -1;
    std::string sweep;        // "1", "2", ... for a single sweep, "" otherwise
    std::string direction;    // "fwd", "bwd" or "mean"
};

}  // namespace sts

#endif
