// The causes of undefined values, as text for messages.
#include "spectrum/spectrum.h"

std::string describe_causes(int causes) {
    static const struct {
        int bit;
        const char* text;
    } names[] = {
        {CAUSE_NONFINITE_INPUT, "inf or nan in the input"},
        {CAUSE_ZERO_DIVISOR, "an I/V that interpolates to 0"},
        {CAUSE_RANGE, "values beyond the float range"},
    };
    std::string text;
    for (const auto& entry : names) {
        if ((causes & entry.bit) == 0) continue;
        if (!text.empty()) text += "; ";
        text += entry.text;
    }
    return text;
}
