// Test helper: a careful Levenberg-Marquardt fit in double precision and the
// covariance at given parameters, for checking the solver's fits. The model
// is evaluated in complex arithmetic, so its sensitivities come by the
// complex step, exact to rounding, with no difference step to choose.
#pragma once

#include <complex>
#include <functional>
#include <vector>

namespace krv::rt {

using Cx = std::complex<double>;
// The model's value at input x for parameters b (analytic in b).
using CxModel = std::function<Cx(double x, const std::vector<Cx>& b)>;

// Observations: inputs, observed values and weights, as the store holds them.
struct FitData {
  std::vector<double> x, y, w;
};

// Weighted residuals sqrt(w) (model - observed) and their sum of squares.
std::vector<double> WeightedResiduals(const CxModel& f, const FitData& d, const std::vector<double>& b);
double SumOfSquares(const CxModel& f, const FitData& d, const std::vector<double>& b);

struct ReferenceFit {
  std::vector<double> b;
  double s = 0;
  int iterations = 0;
  // The Gauss-Newton step from b no longer lowers the sum, and the largest
  // cosine between a sensitivity and the residuals is below 1e-9.
  bool converged = false;
};

// Levenberg-Marquardt from `start` with exact sensitivities, then
// Gauss-Newton steps while they lower the sum: the minimum near `start` to
// the precision of double arithmetic.
ReferenceFit FitReference(const CxModel& f, const FitData& d, std::vector<double> start);

// The diagonal of (J'WJ)^-1 at b, from a QR factorisation of the exact
// sensitivities (columns scaled to unit length).
std::vector<double> CovarianceDiagonal(const CxModel& f, const FitData& d, const std::vector<double>& b);

}  // namespace krv::rt
