#include "model/chloride_ingress.hpp"

namespace pellucor::model {

double diffusion_from_profile(double x, double t, double zx) {
  return std::pow(x, 2) / (4 * t * std::pow(zx, 2));
}

double diffusion_from_water_cement(double wc, double T) {
  return (7.08 * wc - 1.846) * (0.0447 * T - 0.052) / 10000;
}

double erosion_coefficient(double zcr, double D) {
  return 2 * zcr * std::sqrt(D);
}

}  // namespace pellucor::model
