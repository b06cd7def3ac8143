// Test helper: a reference Levenberg-Marquardt fit and the covariance, with
// complex-step sensitivities.
#include "runtime/tests/lsq_reference.h"

#include <algorithm>
#include <cmath>

namespace krv::rt {

namespace {

// Column k of an n x p matrix at k * n.
struct Matrix {
  int n = 0, p = 0;
  std::vector<double> a;
  double& at(int i, int k) { return a[size_t(k) * size_t(n) + size_t(i)]; }
  double at(int i, int k) const { return a[size_t(k) * size_t(n) + size_t(i)]; }
};

// Sensitivities of the weighted residuals: J(i, k) = sqrt(w_i) Im f(x_i, b + i h e_k) / h.
Matrix Sensitivities(const CxModel& f, const FitData& d, const std::vector<double>& b) {
  Matrix j{int(d.x.size()), int(b.size()), std::vector<double>(d.x.size() * b.size())};
  std::vector<Cx> bc(b.begin(), b.end());
  for (int k = 0; k < j.p; ++k) {
    const double h = 1e-40 * std::max(std::fabs(b[size_t(k)]), 1e-200);
    bc[size_t(k)] = Cx(b[size_t(k)], h);
    for (int i = 0; i < j.n; ++i)
      j.at(i, k) = std::sqrt(d.w[size_t(i)]) * f(d.x[size_t(i)], bc).imag() / h;
    bc[size_t(k)] = Cx(b[size_t(k)], 0.0);
  }
  return j;
}

// Householder QR of a (m x p, m >= p) in place, Q' applied to rhs; the
// upper triangle of a's first p rows is R.
void Householder(Matrix& a, std::vector<double>& rhs) {
  for (int k = 0; k < a.p; ++k) {
    double s = 0;
    for (int i = k; i < a.n; ++i) s += a.at(i, k) * a.at(i, k);
    s = std::sqrt(s);
    if (s == 0) continue;
    const double alpha = a.at(k, k) > 0 ? -s : s;
    const double beta = s * s - alpha * a.at(k, k);
    a.at(k, k) -= alpha;
    auto reflect = [&](auto&& col) {
      double t = 0;
      for (int i = k; i < a.n; ++i) t += a.at(i, k) * col(i);
      t /= beta;
      for (int i = k; i < a.n; ++i) col(i) -= t * a.at(i, k);
    };
    for (int c = k + 1; c < a.p; ++c) reflect([&](int i) -> double& { return a.at(i, c); });
    reflect([&](int i) -> double& { return rhs[size_t(i)]; });
    a.at(k, k) = alpha;
    for (int i = k + 1; i < a.n; ++i) a.at(i, k) = 0;
  }
}

// min |a x - rhs| by QR; false when R is singular.
bool LeastSquares(Matrix a, std::vector<double> rhs, std::vector<double>& x) {
  Householder(a, rhs);
  x.assign(size_t(a.p), 0.0);
  for (int k = a.p - 1; k >= 0; --k) {
    if (a.at(k, k) == 0) return false;
    double t = rhs[size_t(k)];
    for (int c = k + 1; c < a.p; ++c) t -= a.at(k, c) * x[size_t(c)];
    x[size_t(k)] = t / a.at(k, k);
  }
  return true;
}

double Sum(const std::vector<double>& r) {
  double s = 0;
  for (double v : r) s += v * v;
  return s;
}

}  // namespace

std::vector<double> WeightedResiduals(const CxModel& f, const FitData& d, const std::vector<double>& b) {
  std::vector<Cx> bc(b.begin(), b.end());
  std::vector<double> r;
  for (size_t i = 0; i < d.x.size(); ++i) r.push_back(std::sqrt(d.w[i]) * (f(d.x[i], bc).real() - d.y[i]));
  return r;
}

double SumOfSquares(const CxModel& f, const FitData& d, const std::vector<double>& b) {
  return Sum(WeightedResiduals(f, d, b));
}

ReferenceFit FitReference(const CxModel& f, const FitData& d, std::vector<double> b) {
  const int p = int(b.size());
  ReferenceFit out;
  std::vector<double> r = WeightedResiduals(f, d, b), scale(size_t(p), 0.0), step;
  double s = Sum(r), lambda = 1e-3, nu = 2;
  bool stuck = false;  // no step lowers the sum any more
  for (int it = 0; it < 200000 && s > 0; ++it) {
    Matrix j = Sensitivities(f, d, b);
    for (int k = 0; k < p; ++k) {
      double c = 0;
      for (int i = 0; i < j.n; ++i) c += j.at(i, k) * j.at(i, k);
      scale[size_t(k)] = std::max(scale[size_t(k)], std::sqrt(c));
    }
    bool accepted = false;
    while (!accepted && lambda < 1e30) {
      // [J; sqrt(lambda) D] step = [-r; 0]
      Matrix aug{j.n + p, p, std::vector<double>(size_t(j.n + p) * size_t(p), 0.0)};
      std::vector<double> rhs(size_t(j.n + p), 0.0);
      for (int k = 0; k < p; ++k) {
        for (int i = 0; i < j.n; ++i) aug.at(i, k) = j.at(i, k);
        aug.at(j.n + k, k) = std::sqrt(lambda) * std::max(scale[size_t(k)], 1e-300);
      }
      for (int i = 0; i < j.n; ++i) rhs[size_t(i)] = -r[size_t(i)];
      LeastSquares(aug, rhs, step);
      std::vector<double> t = b;
      for (int k = 0; k < p; ++k) t[size_t(k)] += step[size_t(k)];
      std::vector<double> rt = WeightedResiduals(f, d, t);
      const double st = Sum(rt);
      if (st < s) {
        b = t, r = rt, s = st;
        lambda = std::max(lambda / 3, 1e-20);
        nu = 2;
        accepted = true;
      } else {
        lambda *= nu;
        nu *= 2;
      }
    }
    out.iterations = it + 1;
    if (!accepted) {
      stuck = true;
      break;
    }
  }
  Matrix j = Sensitivities(f, d, b);
  double cosine = 0;
  for (int k = 0; k < p; ++k) {
    double g = 0, c = 0;
    for (int i = 0; i < j.n; ++i) g += j.at(i, k) * r[size_t(i)], c += j.at(i, k) * j.at(i, k);
    if (c > 0 && s > 0) cosine = std::max(cosine, std::fabs(g) / std::sqrt(c * s));
  }
  out.b = b;
  out.s = s;
  double size = 0;
  for (double y : d.y) size += y * y;
  out.converged = (stuck || s == 0) && (cosine < 1e-7 || s < 1e-20 * size);
  return out;
}

std::vector<double> CovarianceDiagonal(const CxModel& f, const FitData& d, const std::vector<double>& b) {
  Matrix j = Sensitivities(f, d, b);
  const int p = j.p;
  std::vector<double> norm(size_t(p), 0.0), unused(size_t(j.n), 0.0), diag(size_t(p), 0.0);
  for (int k = 0; k < p; ++k) {
    for (int i = 0; i < j.n; ++i) norm[size_t(k)] += j.at(i, k) * j.at(i, k);
    norm[size_t(k)] = std::sqrt(norm[size_t(k)]);
    for (int i = 0; i < j.n; ++i) j.at(i, k) /= norm[size_t(k)];
  }
  Householder(j, unused);
  // Row k of R^-1 by back substitution on R' y = e_k; diag_k = |R^-T e_k|^2.
  for (int k = 0; k < p; ++k) {
    std::vector<double> y(size_t(p), 0.0);
    for (int i = 0; i < p; ++i) {
      double t = i == k ? 1.0 : 0.0;
      for (int c = 0; c < i; ++c) t -= j.at(c, i) * y[size_t(c)];
      y[size_t(i)] = t / j.at(i, i);
    }
    double v = 0;
    for (double e : y) v += e * e;
    diag[size_t(k)] = v / (norm[size_t(k)] * norm[size_t(k)]);
  }
  return diag;
}

}  // namespace krv::rt
