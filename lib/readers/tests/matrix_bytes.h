// Omicron MATRIX files made for the tests: a parameter file and a data file
// written byte by byte from the layout (as omicron_matrix.h and
// omicron_matrix_parameters.h describe it), not through the reader.
#ifndef READERS_TESTS_MATRIX_BYTES_H
#define READERS_TESTS_MATRIX_BYTES_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace matrixtest {

inline std::string u32(uint32_t v) {
    std::string s;
    for (int k = 0; k < 4; ++k) s.push_back(static_cast<char>((v >> (8 * k)) & 0xff));
    return s;
}

inline std::string u64(uint64_t v) {
    return u32(static_cast<uint32_t>(v)) + u32(static_cast<uint32_t>(v >> 32));
}

inline std::string f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof v);
    return u64(bits);
}

// A tag as the files store it: back to front.
inline std::string tag(const std::string& t) { return std::string(t.rbegin(), t.rend()); }

// ASCII text as UTF-16LE with its count of code units.
inline std::string text(const std::string& t) {
    std::string s = u32(static_cast<uint32_t>(t.size()));
    for (char c : t) s += std::string(1, c) + '\0';
    return s;
}

inline std::string block(const std::string& t, const std::string& content, bool with_time = true) {
    return tag(t) + u32(static_cast<uint32_t>(content.size())) +
           (with_time ? u64(1412090000) : std::string()) + content;
}

inline std::string doub(double v) { return tag("DOUB") + f64(v); }
inline std::string longv(uint32_t v) { return tag("LONG") + u32(v); }
inline std::string boolv(bool v) { return tag("BOOL") + u32(v ? 1 : 0); }

// One setting: name, unit, 4 bytes, value.
inline std::string setting(const std::string& name, const std::string& unit,
                           const std::string& value) {
    return text(name) + text(unit) + u32(0) + value;
}

// What a made-up session holds.
struct session {
    double start = -1.0, end = 1.0;       // volts
    uint32_t points = 3;
    bool reversal = true;
    uint32_t repetitions = 1;
    std::string channel = "I(V)", unit = "A";
    std::string axis = "Default::Spectroscopy::V";
    std::string transfer = "TFF_Linear1D";
    double factor = 1e9;                  // counts per ampere
    uint64_t key = 0xb00440043;           // the data file's channel key
    std::string data_name = "s--1_1.I(V)_mtrx";
};

inline std::string eepa(const session& s) {
    const std::string settings =
        setting("Device_1_Start", "Volt", doub(s.start)) +
        setting("Device_1_End", "Volt", doub(s.end)) +
        setting("Device_1_Points", "Count", longv(s.points)) +
        setting("Device_1_Repetitions", "Count", longv(s.repetitions)) +
        setting("Enable_Device_1_Ramp_Reversal", "--", boolv(s.reversal)) +
        setting("Device_2_Start", "Meter", doub(1e-10));
    return block("EEPA", u32(0) + u32(2) + text("Clock1") + u32(1) +
                             setting("Period", "Second", doub(0.1)) + text("Spectroscopy") +
                             u32(6) + settings);
}

inline std::string ccsy(const session& s) {
    const uint64_t axis = 0x1400200041, dep = 0x1700200043;
    const std::string dict = u64(0) + u32(1) + u64(axis) + u64(0) + text(s.axis) +
                             text(s.reversal ? "triangular" : "linear") + u32(1) + u64(dep) +
                             u64(axis) + text(s.channel) + text(s.unit) + u32(1) + u64(s.key) +
                             u64(dep) + text("ChannelData: channel = " + s.channel);
    const std::string chcs = u32(1) + u64(axis) + u32(s.points * (s.reversal ? 2 : 1)) + u32(0) +
                             u32(0) + u32(0) + u32(0);
    // A MultiLinear1D function as the files of 2014 give it for the current.
    const std::string xfer =
        u64(dep) + text(s.transfer) + text(s.unit) +
        (s.transfer == "TFF_MultiLinear1D"
             ? u32(5) + text("NeutralFactor") + doub(6.4489e15) + text("Offset") + doub(0.0) +
                   text("PreFactor") + doub(1.01) + text("PreOffset") + doub(-0.01) +
                   text("Raw_1") + doub(0.0)
             : u32(2) + text("Factor") + doub(s.factor) + text("Offset") + doub(0.0));
    return block("CCSY", u32(0) + block("DICT", dict, false) + block("CHCS", chcs, false) +
                             block("SCAN", "opaque", false) + block("XFER", xfer, false));
}

inline std::string pmod(const std::string& group, const std::string& name,
                        const std::string& unit, const std::string& value) {
    return block("PMOD", u32(0) + text(group) + setting(name, unit, value));
}

inline std::string bref(const std::string& name) { return block("BREF", u32(0) + text(name)); }

// META, EEPA, a change of the point count that comes after the data file
// (and so does not hold for it), in between the CCSY and the BREF.
inline std::string parameter_file(const session& s) {
    return "ONTMATRX0101" + block("META", text("MATRIX") + text("V3.1")) + eepa(s) +
           block("MARK", text("MTRX$SAMPLE_NAME-test")) + ccsy(s) + bref(s.data_name) +
           pmod("Spectroscopy", "Device_1_Points", "Count", longv(s.points + 7));
}

inline std::string data_file(uint64_t key, uint32_t planned, const std::vector<int32_t>& counts) {
    std::string desc = u64(key) + std::string(12, '\0') + u32(planned) +
                       u32(static_cast<uint32_t>(counts.size())) + text("SI32") + u32(1) +
                       u32(1) + u32(0) + u32(planned);
    std::string data;
    for (int32_t c : counts) data += u32(static_cast<uint32_t>(c));
    return "ONTMATRX0101" +
           block("BKLT", u32(0) + block("DESC", desc, false) + block("DATA", data, false));
}

}  // namespace matrixtest

#endif
