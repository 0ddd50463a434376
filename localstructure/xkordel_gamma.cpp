#include "localstructure/xkordel_gamma.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "localstructure/forward_backward.hpp"
#include "localstructure/gamma_file.hpp"
#include "localstructure/model.hpp"
#include "profile/record.hpp"

namespace xk::ls {

namespace {

struct Profile {
  std::string letters;
  std::vector<float> values;  // L x 20
};

Profile read_profile(const std::string& path) {
  Profile p;
  try {
    ProfileReader reader(path);
    ProfileRecord rec;
    while (reader.next(rec)) {
      p.letters += residue_letter(rec.letter);
      p.values.insert(p.values.end(), rec.values.begin(), rec.values.end());
    }
  } catch (const IoError& e) {
    // e.what() is "ERROR: <file>: <reason>"; keep the reason.
    const std::string what = e.what();
    const std::string prefix = "ERROR: " + e.file() + ": ";
    const std::string reason = what.rfind(prefix, 0) == 0 ? what.substr(prefix.size()) : what;
    throw FatalStop("ERROR: Cannot read profile file " + path + ": " + reason + "!!!");
  }
  if (p.letters.empty()) throw FatalStop("ERROR: Cannot read profile file " + path + ": it holds no positions!!!");
  return p;
}

// Writes the gamma file line by line through the stream's own buffer: a
// long profile's text (about 2.5 kB a position) is never held whole.
void write_gamma(const std::string& path, const GammaHeader& header, std::string_view letters, const Posteriors& post) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "wb"));
  if (!f) throw FatalStop("ERROR: Cannot write gamma file " + path + ": " + std::strerror(errno) + "!!!");
  bool ok = true;
  format_gamma_file(header, letters, post, [&](std::string_view piece) {
    ok = ok && std::fwrite(piece.data(), 1, piece.size(), f.get()) == piece.size();
  });
  ok = std::fflush(f.get()) == 0 && ok;
  if (std::fclose(f.release()) != 0) ok = false;
  if (!ok) throw FatalStop("ERROR: Cannot write gamma file " + path + ": " + std::strerror(errno) + "!!!");
}

}  // namespace

std::string usage_text() {
  return "Usage: xkordel_gamma MODEL PROFILE GAMMA MODE\n"
         "  MODEL    local-structure model file (model_R.hmm)\n"
         "  PROFILE  profile file to read (136-byte records, e.g. 1.drct)\n"
         "  GAMMA    gamma file to write (e.g. 1.gca)\n"
         "  MODE     accepted for compatibility; it has no effect (pass 0)\n";
}

int xkordel_gamma(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 4) throw FatalStop("ERROR: xkordel_gamma takes four arguments!!!\n" + usage_text());
  const std::string& model_file = args[0];
  const std::string& profile_file = args[1];
  const std::string& gamma_file = args[2];

  const StructureModel model = read_model(model_file);
  const Profile profile = read_profile(profile_file);
  const int L = static_cast<int>(profile.letters.size());
  const Posteriors post = posteriors(compile_model(model), profile.values, L);
  write_gamma(gamma_file, {model_file, profile_file}, profile.letters, post);

  out << fw::ConsoleLine()
             .text("xkordel_gamma: ")
             .text(gamma_file)
             .text(" written,")
             .num(L)
             .text(" positions of ")
             .text(profile_file)
             .text(", log-odds")
             .num(std::round(post.logodds_forward * 1000.0) / 1000.0)
             .text(" nats")
             .str();
  return 0;
}

}  // namespace xk::ls
