// The bias modulation of a Nanonis grid's lock-in.
#include "readers/lockin_header.h"

#include <cmath>

#include "readers/column_name.h"
#include "readers/number_text.h"
#include "readers/units.h"

namespace sts {

namespace {

// "LI Demod 3 X" -> "3"; "" for a channel of another name.
std::string demodulator(const std::string& channel) {
    const std::string tag = "Demod ";
    const size_t at = channel.find(tag);
    if (at == std::string::npos) return "";
    size_t end = at + tag.size();
    while (end < channel.size() && channel[end] >= '0' && channel[end] <= '9') ++end;
    return channel.substr(at + tag.size(), end - at - tag.size());
}

// The module whose keys name demodulator d ("Lock-in 2" for "Harmonic D3").
std::string module_of(const grid_header& h, const std::string& d) {
    if (d.empty()) return "Lock-in";
    for (int m = 1; m <= 8; ++m) {
        const std::string module = m == 1 ? "Lock-in" : "Lock-in " + std::to_string(m);
        if (h.value(module + ">Harmonic D" + d)) return module;
    }
    return "Lock-in";
}

}  // namespace

lockin_modulation grid_modulation(const grid_header& h, const std::string& channel) {
    lockin_modulation m;
    const std::string d = demodulator(parse_column_name(channel).name);
    const std::string module = module_of(h, d);
    m.key = module + ">Amplitude";
    const std::string* amplitude = h.value(m.key);
    const std::string* signal = h.value(module + ">Modulated signal");
    const std::string* status = h.value(module + ">Lock-in status");
    const std::string* harmonic = d.empty() ? nullptr : h.value(module + ">Harmonic D" + d);
    const std::string* demodulated = h.value(module + ">Demodulated signal");
    m.switched_off = status && *status == "OFF";
    double value = 0, order = 1;
    if (!amplitude || !signal) {
        m.why_not = "the header records no " + m.key + " or " + module + ">Modulated signal";
    } else if (*signal != h.sweep_signal) {
        m.why_not = "the lock-in modulates \"" + *signal + "\", not the sweep's \"" +
                    h.sweep_signal + "\"";
    } else if (!parse_number(*amplitude, &value) || !(value > 0) || !std::isfinite(value)) {
        m.why_not = "the header's " + m.key + " is '" + *amplitude + "', no positive amplitude";
    } else if (demodulated && !(amperes_per(parse_column_name(*demodulated).unit) > 0)) {
        m.why_not = "the lock-in demodulates \"" + *demodulated + "\", not a current";
    } else if (harmonic && (!parse_number(*harmonic, &order) || order != 1)) {
        m.why_not = "demodulator " + d + " detects harmonic " + *harmonic +
                    "; only the first harmonic measures dI/dV";
    } else {
        m.known = true;
        m.amplitude_v = value * volts_per(parse_column_name(*signal).unit);
        if (!(m.amplitude_v > 0)) {
            m.known = false;
            m.why_not = "the modulated signal \"" + *signal + "\" is in no voltage unit";
        }
    }
    return m;
}

}  // namespace sts
