// Construction of the bundled local-structure data: the model "model_R.hmm"
// and the frequency files "observed" and "expected", from two published
// tables (BLOSUM62 joint frequencies, secondary-structure propensities).
// See data/README.md for the construction and the source of every number.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "localstructure/model.hpp"

namespace xk::data {

using Residues = std::array<double, 20>;  // order "ACDEFGHIKLMNPQRSTVWY"

// BLOSUM62 target frequencies, reordered to the residue order.
struct JointTable {
  std::array<Residues, 20> q{};  // q[a][b], symmetric, sums to 1
  Residues background{};         // p(a), the row sums
};

// Parses the tab-separated BLOSUM62 table (rows and columns in any letter
// order, last row "bg").  Throws FatalStop naming the file and line.
JointTable parse_joint_table(const std::string& text, const std::string& file);

// Parses the propensity table: column name -> 20 values in residue order.
std::map<std::string, Residues> parse_propensities(const std::string& text, const std::string& file);

// Everything the three files are written from.
struct Construction {
  ls::StructureModel model;           // states 0..281, begin = occupancy
  std::vector<double> occupancy;      // pi_s, s = 0..281 (pi_0 = 0), sums to 1
  std::vector<Residues> propensity;   // calibrated t~_s(a), s = 0..281 (row 0 unused)
  Residues calibration{};             // r(a)
  std::vector<std::string> notes;     // summary lines (also the model's comments)
};

Construction construct(const JointTable& joint, const std::map<std::string, Residues>& propensities);

// The file texts in their fixed-width layouts.
std::string observed_text(const Construction& c, const JointTable& joint);
std::string expected_text(const Construction& c);

}  // namespace xk::data
