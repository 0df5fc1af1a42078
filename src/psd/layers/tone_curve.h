// A curve through points, as Photoshop draws the curves of its adjustments
// and the contours of its effects.
#ifndef PIXOLUNE_PSD_LAYERS_TONE_CURVE_H_
#define PIXOLUNE_PSD_LAYERS_TONE_CURVE_H_

#include <utility>
#include <vector>

namespace pixolune {

/// The natural cubic spline through points (x, y): smooth through each,
/// straight at both ends, flat beyond the first and last. Points are taken
/// in order of x; fewer than two give the identity.
class NaturalSpline {
 public:
  explicit NaturalSpline(std::vector<std::pair<double, double>> points);
  double operator()(double x) const;

 private:
  std::vector<std::pair<double, double>> points_;
  std::vector<double> second_;  // The second derivative at each point.
};

}  // namespace pixolune

#endif  // PIXOLUNE_PSD_LAYERS_TONE_CURVE_H_
