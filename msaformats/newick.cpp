#include "msaformats/newick.hpp"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <map>

namespace xk::msa {

namespace {

struct Subtree {
  std::string text;     // Newick text without the branch length
  double height = 0.0;  // 0 for a leaf
  std::size_t order = 0;  // first appearance, for the groups left apart
};

std::string branch(const Subtree& child, double parent_height) {
  char length[32];
  std::snprintf(length, sizeof length, ":%.5f", std::max(0.0, parent_height - child.height));
  return child.text + length;
}

Subtree join(const Subtree& a, const Subtree& b, double height) {
  return {"(" + branch(a, height) + "," + branch(b, height) + ")", height, std::min(a.order, b.order)};
}

}  // namespace

std::string newick_label(std::string_view name) {
  if (!name.empty() && name.find_first_of(" \t()[]':;,_") == std::string_view::npos) return std::string(name);
  std::string out = "'";
  for (char c : name) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string newick_tree(std::span<const std::string> leaf_names, std::span<const TreeJoin> joins) {
  std::map<std::string, Subtree> live;  // node name -> its subtree
  for (std::size_t k = 0; k < leaf_names.size(); ++k)
    live[std::to_string(k + 1)] = Subtree{newick_label(leaf_names[k]), 0.0, k};
  for (const TreeJoin& j : joins) {
    auto a = live.find(j.first), b = live.find(j.second);
    assert(a != live.end() && b != live.end() && a != b);
    Subtree made = join(a->second, b->second, (1.0 - j.similarity) / 2.0);
    live.erase(a);
    live.erase(b);
    live[j.joined] = std::move(made);
  }
  std::vector<Subtree> left;
  for (auto& [name, tree] : live) left.push_back(std::move(tree));
  std::sort(left.begin(), left.end(), [](const Subtree& x, const Subtree& y) { return x.order < y.order; });
  if (left.empty()) return ";\n";
  Subtree root = std::move(left.front());
  for (std::size_t k = 1; k < left.size(); ++k) root = join(root, left[k], std::max(1.0, root.height));
  return root.text + ";\n";
}

}  // namespace xk::msa
