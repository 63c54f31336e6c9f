#include "numlib/tests/extended_differential.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "numlib/tests/extended_operands.h"
#include "numlib/soft_extended.h"

#if defined(__x86_64__) && defined(__LDBL_MANT_DIG__) && __LDBL_MANT_DIG__ == 64
#define HAVE_X87_LONG_DOUBLE 1
#endif

const std::vector<extended_op>& all_extended_ops() {
    static const std::vector<extended_op> ops = {
        extended_op::add,       extended_op::subtract,   extended_op::multiply,
        extended_op::divide,    extended_op::square_root, extended_op::compare,
        extended_op::to_float,  extended_op::to_double,  extended_op::from_float,
        extended_op::from_double, extended_op::from_integer};
    return ops;
}

const char* op_name(extended_op op) {
    switch (op) {
    case extended_op::add: return "add";
    case extended_op::subtract: return "subtract";
    case extended_op::multiply: return "multiply";
    case extended_op::divide: return "divide";
    case extended_op::square_root: return "sqrt";
    case extended_op::compare: return "compare";
    case extended_op::to_float: return "to_float";
    case extended_op::to_double: return "to_double";
    case extended_op::from_float: return "from_float";
    case extended_op::from_double: return "from_double";
    case extended_op::from_integer: return "from_integer";
    }
    return "?";
}

const char* class_name(int result_class) {
    static const char* const names[RESULT_CLASSES] = {"zero", "subnormal", "normal", "infinite",
                                                      "nan"};
    return result_class >= 0 && result_class < RESULT_CLASSES ? names[result_class] : "?";
}

#if !defined(HAVE_X87_LONG_DOUBLE)

bool hardware_extended_available() { return false; }

differential_result run_differential(extended_op, std::uint64_t, std::uint64_t) { return {}; }

#else

namespace {

long double to_unit(extended_bits e) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &e.significand, 8);
    std::memcpy(bytes + 8, &e.sign_exponent, 2);
    long double v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

extended_bits from_unit(long double v) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &v, sizeof v);
    extended_bits e;
    std::memcpy(&e.significand, bytes, 8);
    std::memcpy(&e.sign_exponent, bytes + 8, 2);
    return e;
}

soft_extended to_soft(extended_bits e) {
    return soft_extended::from_bits(e.sign_exponent, e.significand);
}

extended_bits from_soft(soft_extended v) { return {v.significand(), v.sign_exponent()}; }

bool same(extended_bits a, extended_bits b) {
    return a.significand == b.significand && a.sign_exponent == b.sign_exponent;
}

std::string show(extended_bits e) {
    char text[32];
    std::snprintf(text, sizeof text, "%04x:%016llx", e.sign_exponent,
                  static_cast<unsigned long long>(e.significand));
    return text;
}

// The six relational outcomes as bits.
template <typename T>
unsigned relations(T a, T b) {
    return (a < b) | (a <= b) << 1 | (a > b) << 2 | (a >= b) << 3 | (a == b) << 4 | (a != b) << 5;
}

// One case: the operands (integers and float or double bit patterns in the
// significand field) and the unit's and the software's answers as
// comparable words.
struct outcome {
    extended_bits first;
    extended_bits second;
    bool binary = false;
    extended_bits unit;
    extended_bits soft;
    int unit_class = -1;  // a result_class, or -1 for comparisons
};

// The class of an IEEE-style encoding from its exponent field and the
// significand bits below the explicit or hidden top bit.
int classify(std::uint64_t field, std::uint64_t max_field, std::uint64_t fraction) {
    if (field == max_field) return fraction == 0 ? RESULT_INFINITE : RESULT_NAN;
    if (field == 0) return fraction == 0 ? RESULT_ZERO : RESULT_SUBNORMAL;
    return RESULT_NORMAL;
}

int extended_class(extended_bits e) {
    const unsigned field = e.sign_exponent & 0x7FFFu;
    // A zero exponent field keeps its significand's top bit (subnormal, not 0).
    return classify(field, 0x7FFF, field == 0 ? e.significand : e.significand << 1);
}

int float_class(std::uint32_t b) { return classify(b >> 23 & 0xFF, 0xFF, b & 0x7FFFFF); }

int double_class(std::uint64_t b) {
    return classify(b >> 52 & 0x7FF, 0x7FF, b & 0xFFFFFFFFFFFFFull);
}

std::string describe(extended_op op, const outcome& o) {
    std::string text = std::string(op_name(op)) + " " + show(o.first);
    if (o.binary) text += " " + show(o.second);
    return text + ": unit " + show(o.unit) + ", software " + show(o.soft);
}

extended_bits word(std::uint64_t bits) { return {bits, 0}; }

outcome binary_case(extended_op op, extended_bits a, extended_bits b) {
    const long double x = to_unit(a), y = to_unit(b);
    const soft_extended s = to_soft(a), t = to_soft(b);
    outcome o{a, b, true, {}, {}};
    switch (op) {
    case extended_op::add: o.unit = from_unit(x + y); o.soft = from_soft(s + t); break;
    case extended_op::subtract: o.unit = from_unit(x - y); o.soft = from_soft(s - t); break;
    case extended_op::multiply: o.unit = from_unit(x * y); o.soft = from_soft(s * t); break;
    case extended_op::divide: o.unit = from_unit(x / y); o.soft = from_soft(s / t); break;
    default: o.unit = word(relations(x, y)); o.soft = word(relations(s, t)); return o;
    }
    o.unit_class = extended_class(o.unit);
    return o;
}

template <typename To, typename Bits>
Bits bits_of(To v) {
    Bits b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

template <typename To, typename Bits>
To from_bits_of(Bits b) {
    To v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

outcome conversion_case(extended_op op, operand_source& source) {
    outcome o;
    switch (op) {
    case extended_op::square_root: {
        const extended_bits a = source.any();
        o.first = a;
        o.unit = from_unit(std::sqrt(to_unit(a)));
        o.soft = from_soft(soft_sqrt(to_soft(a)));
        break;
    }
    case extended_op::to_float: {
        const extended_bits a = source.near_boundary(24, 127);
        o.first = a;
        o.unit = word(bits_of<float, std::uint32_t>(static_cast<float>(to_unit(a))));
        o.soft = word(bits_of<float, std::uint32_t>(static_cast<float>(to_soft(a))));
        break;
    }
    case extended_op::to_double: {
        const extended_bits a = source.near_boundary(53, 1023);
        o.first = a;
        o.unit = word(bits_of<double, std::uint64_t>(static_cast<double>(to_unit(a))));
        o.soft = word(bits_of<double, std::uint64_t>(static_cast<double>(to_soft(a))));
        break;
    }
    case extended_op::from_float: {
        const std::uint32_t b = source.float_bits();
        const float f = from_bits_of<float>(b);
        o.first = word(b);
        o.unit = from_unit(static_cast<long double>(f));
        o.soft = from_soft(soft_extended(f));
        break;
    }
    case extended_op::from_double: {
        const std::uint64_t b = source.double_bits();
        const double d = from_bits_of<double>(b);
        o.first = word(b);
        o.unit = from_unit(static_cast<long double>(d));
        o.soft = from_soft(soft_extended(d));
        break;
    }
    default: {
        const std::int64_t i = source.integer();
        o.first = word(static_cast<std::uint64_t>(i));
        o.unit = from_unit(static_cast<long double>(i));
        o.soft = from_soft(soft_extended(i));
        break;
    }
    }
    if (op == extended_op::to_float)
        o.unit_class = float_class(static_cast<std::uint32_t>(o.unit.significand));
    else if (op == extended_op::to_double)
        o.unit_class = double_class(o.unit.significand);
    else
        o.unit_class = extended_class(o.unit);
    return o;
}

bool is_binary(extended_op op) {
    return op == extended_op::add || op == extended_op::subtract || op == extended_op::multiply ||
           op == extended_op::divide || op == extended_op::compare;
}

}  // namespace

bool hardware_extended_available() { return true; }

differential_result run_differential(extended_op op, std::uint64_t cases, std::uint64_t seed) {
    operand_source source(seed);
    differential_result result;
    for (std::uint64_t k = 0; k < cases; ++k) {
        outcome o;
        if (is_binary(op)) {
            const extended_bits a = source.any();
            o = binary_case(op, a, source.partner(a));
        } else {
            o = conversion_case(op, source);
        }
        ++result.cases;
        if (o.unit_class >= 0) ++result.by_class[o.unit_class];
        if (same(o.unit, o.soft)) continue;
        ++result.differences;
        if (result.examples.size() < 8) result.examples.push_back(describe(op, o));
    }
    return result;
}

#endif
