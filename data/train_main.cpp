// xk_train HOMSTRAD OUT_DIR        trains on the training families and writes
//                                   "model_R.hmm", "observed" and "expected"
//                                   into OUT_DIR (the files in data/ are its output)
// xk_train -c HOMSTRAD             cross-validation of the pair identity range
//                                   and the pair pseudocount on the training families
// xk_train -e HOMSTRAD DATA_DIR    the three data files of DATA_DIR measured on
//                                   the held-out families
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "data/evaluation.hpp"
#include "data/training.hpp"

namespace {

using namespace xk::data;

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

std::string percent(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", 100.0 * v);
  return buf;
}

void report_counts(const ReadCounts& c) {
  std::cout << " families " << c.families << ", unreadable " << c.families_unreadable << ", members " << c.members
            << ", dropped (no annotation) " << c.dropped_no_annotation << ", dropped (rows differ) "
            << c.dropped_mismatch << ", residues " << c.residues << ", odd letters " << c.odd_letters
            << ", odd annotations " << c.odd_labels << ", chain breaks " << c.chain_breaks << '\n';
}

int train(const std::string& root, const std::string& out_dir) {
  ReadCounts rc;
  const std::vector<Family> families = read_families(root, Split::kTraining, rc);
  report_counts(rc);
  const TrainedModel tm = estimate_model(count_states(families), ModelPriors{});
  const PairCounts pc = count_pairs(families, tm.model);
  std::array<double, 20> background{};
  const auto blocks = pair_blocks(pc, kMaxIdentityTenths, kPairPseudocount, background);
  write_text(out_dir + "/model_R.hmm", xk::ls::format_model(tm.model, tm.notes));
  write_text(out_dir + "/observed", observed_text(topology(), blocks));
  write_text(out_dir + "/expected", expected_text(topology(), tm.occupancy, blocks, background));
  std::cout << " member pairs " << pc.pairs << ", residue pairs " << pc.columns << '\n';
  std::cout << " xk_train: model_R.hmm, observed and expected written to " << out_dir << '\n';
  return 0;
}

// Five folds of the training families (by position in folder-name order).
// The state model is trained once on all of them; the pair blocks of each
// setting come from four folds and are judged by the aligner on the fifth.
int cross_validate(const std::string& root) {
  ReadCounts rc;
  const std::vector<Family> families = read_families(root, Split::kTraining, rc);
  report_counts(rc);
  const TrainedModel tm = estimate_model(count_states(families), ModelPriors{});
  constexpr int kFolds = 5;
  std::array<std::vector<Family>, kFolds> fold;
  for (std::size_t k = 0; k < families.size(); ++k) fold[k % kFolds].push_back(families[k]);
  std::array<PairCounts, kFolds> counts;
  for (int f = 0; f < kFolds; ++f) counts[f] = count_pairs(fold[f], tm.model);
  std::cout << " three-state accuracy (training residues) " << percent(three_state_accuracy(families, tm.model).fraction())
            << " %\n";
  // The identity range first (pseudocount 100), then the pseudocount at the
  // chosen range; 1e9 pairs make every class the pooled block.
  const std::vector<std::pair<int, double>> settings = {
      {3, 100.0}, {4, 100.0}, {5, 100.0}, {6, 100.0}, {8, 100.0}, {10, 100.0},
      {5, 0.0},   {5, 10.0},  {5, 1000.0}, {5, 10000.0}, {5, 1e9}};
  for (auto [max_id, pseudo] : settings) {
    Accuracy total;
    for (int f = 0; f < kFolds; ++f) {
      PairCounts rest;
      for (int g = 0; g < kFolds; ++g) {
        if (g == f) continue;
        for (int k = 0; k < kClasses; ++k) {
          for (int b = 0; b < kIdentityBins; ++b) {
            for (int e = 0; e < 400; ++e) rest.n[k][b][e] += counts[g].n[k][b][e];
          }
        }
      }
      std::array<double, 20> bg{};
      const auto blocks = pair_blocks(rest, max_id, pseudo, bg);
      xk::FrequencyTables ft = tables_from_text(observed_text(topology(), blocks),
                                                expected_text(topology(), tm.occupancy, blocks, bg));
      const xk::ScoringTables st = xk::prepare_tables(ft);
      const Accuracy a = pair_alignment_accuracy(fold[f], tm.model, st, 0.4, 1);
      total.total += a.total;
      total.correct += a.correct;
    }
    std::cout << " pairs below " << max_id * 10 << " % identity, pseudocount " << pseudo << ": aligned "
              << percent(total.fraction()) << " % of " << total.total << " reference residue pairs\n";
  }
  return 0;
}

int evaluate(const std::string& root, const std::string& dir) {
  ReadCounts rc;
  const std::vector<Family> families = read_families(root, Split::kHeldOut, rc);
  report_counts(rc);
  const xk::ls::StructureModel model = xk::ls::read_model(dir + "/model_R.hmm");
  const Accuracy q3 = three_state_accuracy(families, model);
  std::cout << " three-state accuracy " << percent(q3.fraction()) << " % of " << q3.total << " residues\n";
  xk::FrequencyTables ft = tables_from_text(read_text(dir + "/observed"), read_text(dir + "/expected"));
  const xk::ScoringTables st = xk::prepare_tables(ft);
  for (double max_id : {0.3, 0.4, 1.01}) {
    const Accuracy a = pair_alignment_accuracy(families, model, st, max_id, 2);
    std::cout << " pairs below " << percent(max_id) << " % identity (two per family): aligned "
              << percent(a.fraction()) << " % of " << a.total << " reference residue pairs\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return xk::run_program([&] {
    if (args.size() == 2 && args[0] == "-c") return cross_validate(args[1]);
    if (args.size() == 3 && args[0] == "-e") return evaluate(args[1], args[2]);
    if (args.size() == 2 && args[0][0] != '-') return train(args[0], args[1]);
    throw xk::FatalStop(
        "Usage: xk_train HOMSTRAD OUT_DIR\n"
        "       xk_train -c HOMSTRAD\n"
        "       xk_train -e HOMSTRAD DATA_DIR");
  });
}
