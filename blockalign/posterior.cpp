#include "blockalign/posterior.hpp"

#include <cassert>
#include <cmath>
#include <limits>

#include "blockalign/table.hpp"

namespace xk {

std::vector<double> mean_log_weights(std::span<const double> log_z, std::span<const double> totalcount) {
  assert(log_z.size() == totalcount.size() && !log_z.empty());
  std::vector<double> logP = make_table<double>(log_z.size(), "logP");
  for (std::size_t k = 1; k < log_z.size(); ++k) {
    logP[k] = (totalcount[k] > 0.0 && log_z[k] > -std::numeric_limits<double>::infinity())
                  ? log_z[k] - std::log(totalcount[k])
                  : -std::numeric_limits<double>::infinity();
  }
  return logP;
}

std::vector<double> block_probabilities(std::span<const double> logP) {
  std::vector<double> pK = make_table<double>(logP.size(), "pK");
  double best = 0.0;
  for (double v : logP) {
    if (v > best) best = v;
  }
  const double threshold = best - 4.0;
  double sum = 0.0;
  for (std::size_t k = 0; k < logP.size(); ++k) {
    pK[k] = logP[k] >= threshold ? std::exp(logP[k] - threshold) : 0.0;
    sum += pK[k];
  }
  assert(sum > 0.0);  // logP(0) = 0 always passes the threshold
  for (double& p : pK) p /= sum;
  return pK;
}

}  // namespace xk
