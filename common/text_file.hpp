// Writing a whole text file in one go.
#pragma once

#include <string>

namespace xk {

// Writes `text` to `file` (created, or replaced when it exists), bytes as
// given.  Throws IoError naming the file when it cannot be opened or written.
void write_text_file(const std::string& file, const std::string& text);

}  // namespace xk
