#include "common/names.hpp"

namespace xk {

std::string without_trailing_blanks(std::string_view name) {
  const std::size_t end = name.find_last_not_of(' ');
  return std::string(end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1));
}

std::string file_stem(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  const std::size_t base = slash == std::string_view::npos ? 0 : slash + 1;
  return std::string(name.substr(0, name.find('.', base)));
}

std::string gamma_file_of(std::string_view name) { return file_stem(name) + ".gca"; }

std::string profile_file_of(std::string_view name) { return file_stem(name) + ".drct"; }

bool is_node_name(std::string_view stem) {
  bool digit_before = false;  // the current group has a digit
  for (char c : stem) {
    if (c >= '0' && c <= '9') {
      digit_before = true;
    } else if (c == '-' && digit_before) {
      digit_before = false;
    } else {
      return false;
    }
  }
  return digit_before;
}

std::string joined_node_name(std::string_view first, std::string_view second) {
  std::string joined(first);
  joined += '-';
  joined += second;
  return joined;
}

}  // namespace xk
