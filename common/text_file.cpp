#include "common/text_file.hpp"

#include <fstream>

#include "common/ending.hpp"

namespace xk {

void write_text_file(const std::string& file, const std::string& text) {
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!f) throw io_error_from_errno(file);
  f << text;
  f.close();
  if (!f) throw IoError(file, "cannot write the file");
}

}  // namespace xk
