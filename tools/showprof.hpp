// The profile viewer behind `showprof`.
#pragma once

#include <iosfwd>
#include <string>

namespace xk {

// Lists a profile file: " opening NAME", one line per complete record with
// its 20 profile values, then the final line " 0".  A missing or unreadable
// file throws IoError naming it after the "opening" line.
void showprof(const std::string& name, std::ostream& out);

// How the viewer writes one value: shortest form that reads back as the
// same single-precision number, always with a decimal point ("1.0", "0.0",
// "0.08279", "1e-07").
std::string show_value(float v);

}  // namespace xk
