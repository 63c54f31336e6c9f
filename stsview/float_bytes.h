// Maps and q-maps travel as raw floats: little-endian, as the page's
// Float32Array reads them, whatever the server's byte order.
#pragma once

#include <string>
#include <vector>

namespace sts {

std::string float_bytes(const std::vector<float>& values);

}  // namespace sts
