// The bias modulation a Nanonis grid header records for its lock-in, from
// which a lock-in channel is calibrated without a fit.
//
// The Nanonis lock-in module writes its settings into the header
// (nanonis_simulator_grid_bwd_5x6.3ds, nanonis2025_Grid_Spectroscopy008.3ds):
//   Lock-in>Lock-in status=OFF|ON      whether it ran when the header was written
//   Lock-in>Modulated signal="Bias (V)"   the signal it modulates
//   Lock-in>Amplitude=10E-3            the modulation's amplitude, in that
//                                      signal's unit (zero to peak)
//   Lock-in>Demodulated signal="Current (A)"
//   Lock-in>Harmonic D1=1              the harmonic each demodulator ("LI
//                                      Demod 1 X") detects; older files one
//                                      "Lock-in>Harmonic" for all
// A second module's demodulators (3 and 4) are under "Lock-in 2>".  The
// module's amplitude is taken as the sine's zero-to-peak amplitude and its
// demodulators' outputs as amplitudes of the same kind, so that the first
// harmonic's X is dI/dV * amplitude with no factor of sqrt 2 (a lock-in
// reporting RMS values is calibrated by an RMS amplitude the same way).  No
// public grid measured with the lock-in on confirms it: the header of the
// real Pb line records its lock-in as OFF.
#ifndef READERS_LOCKIN_HEADER_H
#define READERS_LOCKIN_HEADER_H

#include <string>

#include "readers/grid_header.h"

namespace sts {

struct lockin_modulation {
    bool known = false;          // amplitude_v is the recorded modulation
    double amplitude_v = 0;      // zero to peak, volts
    std::string key;             // the header key it came from
    bool switched_off = false;   // the module's status was OFF in the header
    std::string why_not;         // without `known`: what the header lacks
};

// The modulation behind lock-in channel `channel` ("LI Demod 1 X (A)"): the
// module its demodulator belongs to, or "Lock-in" for a channel of another
// name.  Not known when the header records no amplitude, a modulated
// signal other than the sweep's, an amplitude that is not a positive
// number, or a demodulator of a harmonic other than the first (which
// measures no dI/dV).
lockin_modulation grid_modulation(const grid_header& h, const std::string& channel);

}  // namespace sts

#endif
