// The messages of the failure statuses.
#include "numlib/numlib.h"

const char* num_message(num_status status) {
    // The texts are part of the published interface: outside programs and
    // the tools' users match on them, so they are kept word for word rather
    // than composed from the routine and the reason.
    static const struct {
        num_status status;
        const char* text;
    } messages[] = {
        {NUM_OK, ""},
        {NUM_NO_MEMORY, "allocation failure in vector()"},
        {NUM_SPLINT_BAD_INTERVAL, "Bad XA input to routine SPLINT"},
        {NUM_POLINT_EQUAL_DISTANCES, "Error in routine POLINT"},
        {NUM_CONVLV_UNKNOWN_ISIGN, "No meaning for ISIGN in CONVLV"},
        {NUM_CONVLV_RESPONSE_ZERO, "Deconvolving at response zero in CONVLV"},
    };
    for (const auto& entry : messages)
        if (entry.status == status) return entry.text;
    // A status no routine reports (a caller's own construction) still gets a
    // message that says what it holds, so that nothing is reported blank.
    return "unknown failure in numlib";
}
