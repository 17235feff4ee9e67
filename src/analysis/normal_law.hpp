// The standard normal law, in one place for every analysis: the reliability analysis and its
// update, the inspection statistics, design.
#pragma once

#include <cmath>

namespace pellucor::analysis {

// The standard normal distribution function.
double normal_cdf(double z);
// The standard normal density.
double normal_density(double z);
// The standard normal quantile for p in (0, 1): Wichura's algorithm AS 241 (PPND16), rational
// approximations in three ranges with a relative error below 1e-15 of the value, evaluated in
// double precision (the tests hold it to 2e-15 relative, or 1e-300 absolute near the median,
// against Boost.Math at 10^6 points). 0 and 1 give -/+ infinity.
double normal_quantile(double p);

// The quantile's kernel, for loops that compute many in a row (the reliability analysis's
// sampler runs its central range over whole blocks).
namespace as241 {

// c0 + c1 x + ... + c7 x^7 by Estrin's scheme: the same coefficients as Horner's rule with a
// third of its chain of dependent operations.
inline double poly7(const double (&c)[8], double x) {
  const double x2 = x * x;
  const double x4 = x2 * x2;
  const double p01 = c[0] + c[1] * x;
  const double p23 = c[2] + c[3] * x;
  const double p45 = c[4] + c[5] * x;
  const double p67 = c[6] + c[7] * x;
  return (p01 + p23 * x2) + (p45 + p67 * x2) * x4;
}

// Wichura's AS 241 (PPND16): numerators a, c, e and denominators b, d, f of the central range
// |p - 0.5| <= 0.425, of the tail with r = sqrt(-log(min(p, 1 - p))) <= 5, and beyond.
inline constexpr double kA[8] = {3.3871328727963666080e0, 1.3314166789178437745e2,
                                 1.9715909503065514427e3, 1.3731693765509461125e4,
                                 4.5921953931549871457e4, 6.7265770927008700853e4,
                                 3.3430575583588128105e4, 2.5090809287301226727e3};
inline constexpr double kB[8] = {1.0,
                                 4.2313330701600911252e1,
                                 6.8718700749205790830e2,
                                 5.3941960214247511077e3,
                                 2.1213794301586595867e4,
                                 3.9307895800092710610e4,
                                 2.8729085735721942674e4,
                                 5.2264952788528545610e3};
inline constexpr double kC[8] = {1.42343711074968357734e0,  4.63033784615654529590e0,
                                 5.76949722146069140550e0,  3.64784832476320460504e0,
                                 1.27045825245236838258e0,  2.41780725177450611770e-1,
                                 2.27238449892691845833e-2, 7.74545014278341407640e-4};
inline constexpr double kD[8] = {1.0,
                                 2.05319162663775882187e0,
                                 1.67638483018380384940e0,
                                 6.89767334985100004550e-1,
                                 1.48103976427480074590e-1,
                                 1.51986665636164571966e-2,
                                 5.47593808499534494600e-4,
                                 1.05075007164441684324e-9};
inline constexpr double kE[8] = {6.65790464350110377720e0,  5.46378491116411436990e0,
                                 1.78482653991729133580e0,  2.96560571828504891230e-1,
                                 2.65321895265761230930e-2, 1.24266094738807843860e-3,
                                 2.71155556874348757815e-5, 2.01033439929228813265e-7};
inline constexpr double kF[8] = {1.0,
                                 5.99832206555887937690e-1,
                                 1.36929880922735805310e-1,
                                 1.48753612908506148525e-2,
                                 7.86869131145613259100e-4,
                                 1.84631831751005468180e-5,
                                 1.42151175831644588870e-7,
                                 2.04426310338993978564e-15};

// The quantile for p in (0, 1), inlined where many are computed in a row.
inline double quantile_inside(double p) {
  const double q = p - 0.5;
  if (std::fabs(q) <= 0.425) {
    const double r = 0.180625 - q * q;
    return q * poly7(kA, r) / poly7(kB, r);
  }
  double r = std::sqrt(-std::log(q < 0 ? p : 1 - p));
  double z = 0;
  if (r <= 5) {
    r -= 1.6;
    z = poly7(kC, r) / poly7(kD, r);
  } else {
    r -= 5;
    z = poly7(kE, r) / poly7(kF, r);
  }
  return q < 0 ? -z : z;
}

}  // namespace as241

}  // namespace pellucor::analysis
