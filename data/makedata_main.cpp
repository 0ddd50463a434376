// xk_makedata TABLE_DIR OUT_DIR
// Writes the bundled local-structure data ("model_R.hmm", "observed",
// "expected") into OUT_DIR from the tables blosum62_joint.tsv and
// ss_propensities.tsv in TABLE_DIR.  The files in data/ are its output.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "data/construction.hpp"

namespace {

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw xk::FatalStop("ERROR: Cannot read " + path + ": " + std::strerror(errno) + "!!!");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_text(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.flush();
  if (!out) throw xk::FatalStop("ERROR: Cannot write " + path + "!!!");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return xk::run_program([&] {
    if (args.size() != 2) throw xk::FatalStop("Usage: xk_makedata TABLE_DIR OUT_DIR");
    const std::string joint_file = args[0] + "/blosum62_joint.tsv";
    const std::string prop_file = args[0] + "/ss_propensities.tsv";
    const xk::data::JointTable joint = xk::data::parse_joint_table(read_text(joint_file), joint_file);
    const auto prop = xk::data::parse_propensities(read_text(prop_file), prop_file);
    const xk::data::Construction c = xk::data::construct(joint, prop);
    write_text(args[1] + "/model_R.hmm", xk::ls::format_model(c.model, c.notes));
    write_text(args[1] + "/observed", xk::data::observed_text(c, joint));
    write_text(args[1] + "/expected", xk::data::expected_text(c));
    for (const std::string& line : c.notes) std::cout << ' ' << line << '\n';
    std::cout << " xk_makedata: model_R.hmm, observed and expected written to " << args[1] << '\n';
    return 0;
  });
}
