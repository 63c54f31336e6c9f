// The lines a run ends with.
#ifndef STSGRID_SUMMARY_H
#define STSGRID_SUMMARY_H

#include <string>

#include "stsgrid/grid_collector.h"
#include "stsgrid/grid_description.h"

namespace sts {

// "stsgrid: wrote <out>: 128 x 128 pixels, 400 points" on standard output.
void report_written(const std::string& out, const grid_description& d, const grid_collector& c);

// "stsgrid: k of N pixels not processed: ..." by cause on standard output;
// true when there were any.
bool report_unprocessed(const grid_collector& c);

// What a pixel code means, for messages and the file's flag_meanings.
const char* describe_code(int code);

}  // namespace sts

#endif
