#include "tools/showprof.hpp"

#include <charconv>
#include <ostream>

#include "common/ending.hpp"
#include "common/names.hpp"
#include "profile/record.hpp"

namespace xk {

std::string show_value(float v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, r.ptr);
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";  // n: inf/nan stay as they are
  return s;
}

void showprof(const std::string& name, std::ostream& out) {
  const std::string trimmed = without_trailing_blanks(name);
  out << " opening " << trimmed << '\n';
  out.flush();
  if (trimmed.empty()) throw IoError("(no file name)", "usage: showprof profile-file");
  ProfileReader reader(trimmed);
  ProfileRecord rec;
  while (reader.next(rec)) {
    std::string line;
    for (float v : rec.values) {
      line += ' ';
      line += show_value(v);
    }
    out << line << '\n';
  }
  out << " 0\n";
}

}  // namespace xk
