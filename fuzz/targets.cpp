#include "fuzz/targets.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "driver/fasta_input.hpp"
#include "localstructure/forward_backward.hpp"
#include "localstructure/model.hpp"
#include "profile/record.hpp"
#include "readers/gamma.hpp"
#include "readers/profiles.hpp"
#include "tools/mkprof.hpp"

namespace xk::fuzz {

namespace {

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write the scratch file " + path);
}

std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string profile_seed() {
  std::string bytes;
  long r = 0;
  for (char c : std::string("MKVLACDEFXBZW")) {
    const RecordBytes b = encode_record(converter_record(++r, {'s', 'e', 'e', 'd'}, c, letter_profile(c)));
    bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
  }
  return bytes;
}

std::string gamma_seed() {
  std::string text = "# gamma file\n";
  for (int k = 0; k < 3; ++k) {
    text += "RESIDUE ACDEFGHIKLMN\n";
    text += "GAMMA  ";
    for (int m = 0; m < kStates; ++m) text += m % 7 == 0 ? "  .003546" : " 0.001000";
    text += '\n';
  }
  return text;
}

const char kFastaSeed[] =
    ">seq1 (1abc) first\nMKVLSEGDWQLVNAHPRTYF\nICDGSNWERT\r\n>seq2 two\nmkv.ls-eg*\n>seq3\nACDEFGHIKLMNPQRSTVWYBZXUOJ\n";

}  // namespace

std::vector<Target> reader_targets(const std::filesystem::path& model_file) {
  std::vector<Target> t;
  t.push_back({"fasta", kFastaSeed, [](const std::string& bytes, const std::string&) {
                 std::istringstream in(bytes);
                 (void)driver::read_fasta(in, "fuzz.fa");
               }});
  t.push_back({"profile", profile_seed(), [](const std::string& bytes, const std::string& scratch) {
                 write_bytes(scratch, bytes);
                 const int n = getdrctlen(scratch);
                 std::vector<float> table(static_cast<std::size_t>(n) * kProfileWidth);
                 readdrct(scratch, n, table);
                 ProfileReader reader(scratch);
                 ProfileRecord rec;
                 while (reader.next(rec)) {
                 }
               }});
  t.push_back({"gamma", gamma_seed(), [](const std::string& bytes, const std::string& scratch) {
                 write_bytes(scratch, bytes);
                 (void)readgamma(scratch, 3, GammaRows::as_found);
                 (void)readgcaseq(scratch);
                 (void)readgamma(scratch, 3);
               }});
  t.push_back({"model", read_bytes(model_file), [](const std::string& bytes, const std::string&) {
                 const ls::StructureModel model = ls::parse_model(bytes, "fuzz.hmm");
                 const std::array<float, 3 * kProfileWidth> profile = [] {
                   std::array<float, 3 * kProfileWidth> p{};
                   p[0] = p[kProfileWidth + 1] = p[2 * kProfileWidth + 2] = 1.0f;
                   return p;
                 }();
                 (void)ls::posteriors(ls::compile_model(model), profile, 3);
               }});
  return t;
}

}  // namespace xk::fuzz
