#include "psd/layers/tone_curve.h"

#include <algorithm>

namespace pixolune {

NaturalSpline::NaturalSpline(std::vector<std::pair<double, double>> points) : points_(std::move(points)) {
  std::sort(points_.begin(), points_.end());
  const size_t n = points_.size();
  second_.assign(n, 0.0);
  if (n < 3) return;
  // The tridiagonal system of the second derivatives, solved downwards and back.
  std::vector<double> u(n, 0.0);
  for (size_t i = 1; i + 1 < n; ++i) {
    const double h0 = points_[i].first - points_[i - 1].first, h1 = points_[i + 1].first - points_[i].first;
    if (h0 <= 0 || h1 <= 0) continue;
    const double sig = h0 / (h0 + h1), p = sig * second_[i - 1] + 2.0;
    second_[i] = (sig - 1.0) / p;
    const double d = (points_[i + 1].second - points_[i].second) / h1 - (points_[i].second - points_[i - 1].second) / h0;
    u[i] = (6.0 * d / (h0 + h1) - sig * u[i - 1]) / p;
  }
  for (size_t k = n - 1; k-- > 0;) second_[k] = second_[k] * second_[k + 1] + u[k];
  second_.front() = second_.back() = 0.0;
}

double NaturalSpline::operator()(double x) const {
  if (points_.size() < 2) return x;
  if (x <= points_.front().first) return points_.front().second;
  if (x >= points_.back().first) return points_.back().second;
  const size_t i = static_cast<size_t>(
      std::lower_bound(points_.begin(), points_.end(), x, [](const auto& p, double v) { return p.first < v; }) -
      points_.begin());
  const auto& [x0, y0] = points_[i - 1];
  const auto& [x1, y1] = points_[i];
  const double h = x1 - x0;
  if (h <= 0) return y1;
  const double a = (x1 - x) / h, b = (x - x0) / h;
  return a * y0 + b * y1 + ((a * a * a - a) * second_[i - 1] + (b * b * b - b) * second_[i]) * h * h / 6.0;
}

}  // namespace pixolune
