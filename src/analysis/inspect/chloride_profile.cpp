#include "analysis/inspect/chloride_profile.hpp"

// The fit uses the nonlinear least-squares solver of the GNU Scientific Library
// (gsl_multifit_nlinear, Debian libgsl-dev) rather than Eigen's Levenberg–Marquardt: GSL's
// solver is part of the library's stable, documented API (Eigen's lives in its "unsupported"
// modules), it takes an analytic Jacobian, reports why it stopped, and the same library gives
// the covariance of the estimates, the reciprocal condition number of the Jacobian and the
// Student t quantiles of the intervals.
#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <numbers>

#include "analysis/inspect/statistics.hpp"
#include "analysis/text/digits.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::inspect {

namespace {

using Refused = Refusal<ProfileRefusal>;

using text::num;

Refused refuse(ProfileRefusal kind, std::string text, std::string message) {
  return Refused{kind, std::move(text), std::move(message)};
}

// GSL reports a failure through its error handler, which by default aborts the program; the
// fit reads the status codes the functions return instead.
void quiet_gsl() {
  static std::once_flag once;
  std::call_once(once, [] { gsl_set_error_handler_off(); });
}

// The points in the regression and what the curve holds fixed.
struct Data {
  std::vector<double> x;  // mm
  std::vector<double> y;  // kg/m³
  double t = 0;           // a
  bool fitBackground = false;
  double background = 0;  // kg/m³, when it is held fixed
};

// Parameters: C_s, ln D (D in mm²/a), and C_i when it is fitted. D enters through its
// logarithm so that the solver cannot step to a D at or below zero.
struct Params {
  double cs = 0;
  double lnD = 0;
  double ci = 0;
};

Params params_of(const gsl_vector* v, const Data& d) {
  Params p{gsl_vector_get(v, 0), gsl_vector_get(v, 1), d.background};
  if (d.fitBackground) p.ci = gsl_vector_get(v, 2);
  return p;
}

double argument(double x, double D, double t) {
  return x / (2.0 * std::sqrt(D * t));
}

double sum_of_squares(const Data& d, const Params& p) {
  const double D = std::exp(p.lnD);
  double ssr = 0;
  for (std::size_t i = 0; i < d.x.size(); ++i) {
    const double r = p.ci + (p.cs - p.ci) * std::erfc(argument(d.x[i], D, d.t)) - d.y[i];
    ssr += r * r;
  }
  return ssr;
}

int residuals(const gsl_vector* v, void* data, gsl_vector* f) {
  const Data& d = *static_cast<const Data*>(data);
  const Params p = params_of(v, d);
  const double D = std::exp(p.lnD);
  for (std::size_t i = 0; i < d.x.size(); ++i) {
    const double model = p.ci + (p.cs - p.ci) * std::erfc(argument(d.x[i], D, d.t));
    gsl_vector_set(f, i, model - d.y[i]);
  }
  return GSL_SUCCESS;
}

// The Jacobian of the curve in (C_s, ln D[, C_i]) at p, row by row into J.
void fill_jacobian(const Data& d, const Params& p, bool withBackground, gsl_matrix* J) {
  const double D = std::exp(p.lnD);
  for (std::size_t i = 0; i < d.x.size(); ++i) {
    const double z = argument(d.x[i], D, d.t);
    const double e = std::erfc(z);
    gsl_matrix_set(J, i, 0, e);
    // d erfc(z) / d ln D = z * exp(-z²) / sqrt(pi), since dz / d ln D = -z / 2; it vanishes
    // where z has run off to infinity (D at zero).
    const double slope = std::isfinite(z) ? z * std::exp(-z * z) : 0.0;
    gsl_matrix_set(J, i, 1, (p.cs - p.ci) * slope / std::sqrt(std::numbers::pi));
    if (withBackground) gsl_matrix_set(J, i, 2, 1.0 - e);
  }
}

int jacobian(const gsl_vector* v, void* data, gsl_matrix* J) {
  const Data& d = *static_cast<const Data*>(data);
  fill_jacobian(d, params_of(v, d), d.fitBackground, J);
  return GSL_SUCCESS;
}

// ---- The curve for a fixed D ----------------------------------------------------------
// For a fixed D the curve is linear in C_s and C_i: their best values follow in closed form,
// with C_i kept at 0 or above (a convex problem with one bound: the best point with C_i >= 0
// is the unbounded one where that has C_i >= 0, otherwise the best one with C_i = 0). The
// scan that starts the solver and the profiles of the intervals are built on it.

std::vector<double> erfc_terms(const Data& d, double lnD) {
  const double D = std::exp(lnD);
  std::vector<double> e(d.x.size());
  for (std::size_t i = 0; i < d.x.size(); ++i) e[i] = std::erfc(argument(d.x[i], D, d.t));
  return e;
}

double ssr_of(const Data& d, const std::vector<double>& e, double cs, double ci) {
  double ssr = 0;
  for (std::size_t i = 0; i < e.size(); ++i) {
    const double r = ci + (cs - ci) * e[i] - d.y[i];
    ssr += r * r;
  }
  return ssr;
}

// What is held fixed while the rest is at its best: nothing but D, D and C_s, or D and C_i.
enum class Held { Nothing, Surface, Background };

// The best curve for ln D with `held` (C_s or C_i) at `value`; its sum of squares in `ssr`.
Params best_for(const Data& d, double lnD, Held held, double value, double& ssr) {
  const std::vector<double> e = erfc_terms(d, lnD);
  const std::size_t n = e.size();
  Params p{0, lnD, d.background};
  if (held == Held::Background) {
    // y - C_i = (C_s - C_i) e.
    double see = 0, sey = 0;
    for (std::size_t i = 0; i < n; ++i) {
      see += e[i] * e[i];
      sey += e[i] * (d.y[i] - value);
    }
    p.ci = value;
    p.cs = value + (see > 0 ? sey / see : 0.0);
  } else if (held == Held::Surface) {
    // y - C_s e = C_i (1 - e), C_i fitted (at 0 or above) or fixed.
    p.cs = value;
    if (d.fitBackground) {
      double sff = 0, sfy = 0;
      for (std::size_t i = 0; i < n; ++i) {
        sff += (1 - e[i]) * (1 - e[i]);
        sfy += (1 - e[i]) * (d.y[i] - value * e[i]);
      }
      p.ci = sff > 0 ? std::max(0.0, sfy / sff) : 0.0;
    }
  } else if (d.fitBackground) {
    double me = 0, my = 0;
    for (std::size_t i = 0; i < n; ++i) {
      me += e[i];
      my += d.y[i];
    }
    me /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double see = 0, sey = 0;
    for (std::size_t i = 0; i < n; ++i) {
      see += (e[i] - me) * (e[i] - me);
      sey += (e[i] - me) * (d.y[i] - my);
    }
    const double a = see > 0 ? sey / see : 0.0;
    p.ci = my - a * me;
    if (p.ci < 0) {
      // The bound: C_i = 0, C_s by least squares through the origin.
      double ee = 0, ey = 0;
      for (std::size_t i = 0; i < n; ++i) {
        ee += e[i] * e[i];
        ey += e[i] * d.y[i];
      }
      p.ci = 0;
      p.cs = ee > 0 ? ey / ee : 0.0;
    } else {
      p.cs = p.ci + a;
    }
  } else {
    double see = 0, sey = 0;
    for (std::size_t i = 0; i < n; ++i) {
      see += e[i] * e[i];
      sey += e[i] * (d.y[i] - d.background);
    }
    p.cs = d.background + (see > 0 ? sey / see : 0.0);
  }
  ssr = ssr_of(d, e, p.cs, p.ci);
  return p;
}

// The range of ln D over which the curve can change at the points: below it erfc has fallen
// under 2e-17 at the shallowest point (z > 6, the curve is C_i at every point); above it the
// curve departs from a straight level by less than a thousandth of its height at the deepest
// point (z < 1e-3). Beyond either end every D fits as well as the end itself.
struct LnDRange {
  double lo = 0;
  double hi = 0;
};

LnDRange ln_d_range(const Data& d) {
  const double xMin = *std::min_element(d.x.begin(), d.x.end());
  const double xMax = *std::max_element(d.x.begin(), d.x.end());
  const auto lnDAt = [&](double x, double z) { return std::log(x * x / (4 * z * z * d.t)); };
  return {lnDAt(xMin, 6.0), lnDAt(xMax, 1e-3)};
}

// Steps of the scan of ln D: 0.25, a factor 1.28 in D, finer than any turn of the sum of
// squares of a profile measured in layers (the erfc curve moves by a layer's thickness when
// ln D changes by about one).
constexpr double kLnDStep = 0.25;

// The least sum of squares over ln D with `held` at `value`, by a scan of the range and a
// golden-section search about the best scanned value. `lnDAt` gets where it lies.
double least_over_d(const Data& d, const LnDRange& r, Held held, double value,
                    double* lnDAt = nullptr) {
  double best = INFINITY;
  double bestLn = r.lo;
  const int steps = static_cast<int>(std::ceil((r.hi - r.lo) / kLnDStep));
  for (int k = 0; k <= steps; ++k) {
    const double u = r.lo + (r.hi - r.lo) * k / steps;
    double ssr = 0;
    best_for(d, u, held, value, ssr);
    if (ssr < best) {
      best = ssr;
      bestLn = u;
    }
  }
  const double h = (r.hi - r.lo) / steps;
  double a = bestLn - h, b = bestLn + h;
  const double g = (std::sqrt(5.0) - 1) / 2;
  double c = b - g * (b - a), e = a + g * (b - a);
  double fc = 0, fe = 0;
  best_for(d, c, held, value, fc);
  best_for(d, e, held, value, fe);
  // 45 golden sections shrink the bracket of two steps by 0.618^45 = 4e-10: ln D to 2e-10,
  // where the sum of squares, flat at its least, is exact to rounding.
  for (int i = 0; i < 45; ++i) {
    if (fc < fe) {
      b = e;
      e = c;
      fe = fc;
      c = b - g * (b - a);
      best_for(d, c, held, value, fc);
    } else {
      a = c;
      c = e;
      fc = fe;
      e = a + g * (b - a);
      best_for(d, e, held, value, fe);
    }
  }
  const double u = fc < fe ? c : e;
  const double f = std::min(fc, fe);
  if (f < best) {
    best = f;
    bestLn = u;
  }
  if (lnDAt != nullptr) *lnDAt = bestLn;
  return best;
}

// The solver's start: the best ln D of the scan, with its C_s and C_i.
Params starting_point(const Data& d, const LnDRange& r) {
  double lnD = 0;
  least_over_d(d, r, Held::Nothing, 0, &lnD);
  double ssr = 0;
  return best_for(d, lnD, Held::Nothing, 0, ssr);
}

struct WorkspaceFree {
  void operator()(gsl_multifit_nlinear_workspace* w) const { gsl_multifit_nlinear_free(w); }
};
struct MatrixFree {
  void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
};
struct VectorFree {
  void operator()(gsl_vector* v) const { gsl_vector_free(v); }
};

// Whether the residual vector stands at right angles to every column of the Jacobian, the
// scale-free test that a least-squares solution has been reached (Dennis and Schnabel,
// "Numerical Methods for Unconstrained Optimization", 1983, on stopping criteria). A cosine below
// 1e-6 leaves a gradient whose step would lower the sum of squares by a relative 1e-12 at most, far
// below the digits any estimate is reported to.
bool orthogonal(const gsl_matrix* J, const gsl_vector* f) {
  const double fn = gsl_blas_dnrm2(f);
  if (fn == 0) return true;
  for (std::size_t j = 0; j < J->size2; ++j) {
    gsl_vector_const_view col = gsl_matrix_const_column(J, j);
    const double cn = gsl_blas_dnrm2(&col.vector);
    double dot = 0;
    gsl_blas_ddot(&col.vector, f, &dot);
    if (cn > 0 && std::fabs(dot) > 1e-6 * cn * fn) return false;
  }
  return true;
}

std::optional<Refused> check_input(const ProfileInput& in) {
  if (!std::isfinite(in.ageYears) || !(in.ageYears > 0)) {
    return refuse(ProfileRefusal::NoAge, "请输入取样时的暴露龄期（大于 0 的年数）。",
                  "the age at sampling must be a number of years above 0");
  }
  if (in.depthMm.size() != in.chloride.size()) {
    return refuse(ProfileRefusal::LengthsDiffer,
                  "深度与氯离子含量的个数不同，每一深度须有一个含量。",
                  "every depth needs one chloride content (" + std::to_string(in.depthMm.size()) +
                      " depths, " + std::to_string(in.chloride.size()) + " contents)");
  }
  for (std::size_t i = 0; i < in.depthMm.size(); ++i) {
    const std::string row = std::to_string(i + 1);
    if (!std::isfinite(in.depthMm[i]) || !std::isfinite(in.chloride[i])) {
      return refuse(ProfileRefusal::NotANumber, "第 " + row + " 点的深度或含量不是数。",
                    "point " + row + ": the depth or the content is not a number");
    }
    if (!(in.depthMm[i] > 0)) {
      return refuse(ProfileRefusal::NegativeDepth,
                    "第 " + row + " 点的深度为 " + num(in.depthMm[i]) +
                        " mm：深度取磨层中点距表面的距离，必须大于 0。",
                    "point " + row + ": depth " + num(in.depthMm[i]) +
                        " mm; the mid-depth of a layer must be above 0");
    }
    if (i > 0 && !(in.depthMm[i] > in.depthMm[i - 1])) {
      return refuse(ProfileRefusal::DepthsNotIncreasing,
                    "第 " + row + " 点的深度 " + num(in.depthMm[i]) + " mm 不大于上一点的 " +
                        num(in.depthMm[i - 1]) + " mm：深度须由表面向内逐点增大。",
                    "point " + row + ": depth " + num(in.depthMm[i]) +
                        " mm does not exceed the previous " + num(in.depthMm[i - 1]) +
                        " mm; depths must increase from the surface inwards");
    }
    if (in.chloride[i] < 0) {
      return refuse(ProfileRefusal::NegativeContent, "第 " + row + " 点的氯离子含量为负数。",
                    "point " + row + ": the chloride content is negative");
    }
  }
  if (in.unit == ChlorideUnit::PercentOfConcrete &&
      !(in.densityKgM3 >= kDensityLow && in.densityKgM3 <= kDensityHigh)) {
    return refuse(ProfileRefusal::BadConversion,
                  "含量按占混凝土质量的百分比给出时，须输入 " + num(kDensityLow) + "--" +
                      num(kDensityHigh) + " kg/m^3 间的混凝土密度。",
                  "contents in % by mass of concrete need a concrete density of " +
                      num(kDensityLow) + " to " + num(kDensityHigh) + " kg/m3");
  }
  if (in.unit == ChlorideUnit::PercentOfBinder &&
      !(in.binderKgM3 >= kBinderLow && in.binderKgM3 <= kBinderHigh)) {
    return refuse(ProfileRefusal::BadConversion,
                  "含量按占胶凝材料质量的百分比给出时，须输入 " + num(kBinderLow) + "--" +
                      num(kBinderHigh) + " kg/m^3 间的胶凝材料用量。",
                  "contents in % by mass of binder need a binder content of " + num(kBinderLow) +
                      " to " + num(kBinderHigh) + " kg/m3");
  }
  if (in.background == Background::Given &&
      (!std::isfinite(in.backgroundValue) || in.backgroundValue < 0)) {
    return refuse(ProfileRefusal::BadBackground, "给定的背景氯离子含量须为不小于 0 的数。",
                  "a given background chloride content must be a number of 0 or more");
  }
  if (in.minimumPoints < kFewestPointsAllowed) {
    return refuse(ProfileRefusal::BadMinimum,
                  "回归所需的最少点数不能小于 " + std::to_string(kFewestPointsAllowed) + "。",
                  "the minimum number of points in the regression cannot be below " +
                      std::to_string(kFewestPointsAllowed));
  }
  return std::nullopt;
}

std::string unit_note(const ProfileInput& in) {
  switch (in.unit) {
    case ChlorideUnit::PercentOfConcrete:
      return "氯离子含量由占混凝土质量的百分比按混凝土密度 " + num(in.densityKgM3) +
             " kg/m^3 换算为 kg/m^3。";
    case ChlorideUnit::PercentOfBinder:
      return "氯离子含量由占胶凝材料质量的百分比按胶凝材料用量 " + num(in.binderKgM3) +
             " kg/m^3 换算为 kg/m^3。";
    case ChlorideUnit::KgPerCubicMetre:
      break;
  }
  return {};
}

}  // namespace

double to_kg_per_m3(const ProfileInput& in, double content) {
  switch (in.unit) {
    case ChlorideUnit::PercentOfConcrete:
      return content * in.densityKgM3 / 100.0;
    case ChlorideUnit::PercentOfBinder:
      return content * in.binderKgM3 / 100.0;
    case ChlorideUnit::KgPerCubicMetre:
      break;
  }
  return content;
}

double ProfileFit::at(double depthMm) const {
  return backgroundUsed +
         (surface.value - backgroundUsed) * std::erfc(argument(depthMm, diffusion.value, ageYears));
}

namespace {

// ---- The steps of the fit ---------------------------------------------------------------

// The points in the regression, in kg/m³, and what the curve holds fixed.
Data regression_data(const ProfileInput& in) {
  Data d;
  d.t = in.ageYears;
  d.fitBackground = in.background == Background::Fitted;
  d.background = in.background == Background::Given ? to_kg_per_m3(in, in.backgroundValue) : 0.0;
  const std::size_t first = in.leaveOutFirstLayer ? 1 : 0;
  for (std::size_t i = first; i < in.depthMm.size(); ++i) {
    d.x.push_back(in.depthMm[i]);
    d.y.push_back(to_kg_per_m3(in, in.chloride[i]));
  }
  return d;
}

// Enough points, contents that stay numbers in kg/m³, and a profile that falls.
std::optional<Refused> check_regression(const ProfileInput& in, const Data& d, int p) {
  const int n = static_cast<int>(d.x.size());
  if (n < in.minimumPoints) {
    const std::string left = in.leaveOutFirstLayer ? "（最外层不计）" : "";
    const std::string leftEn = in.leaveOutFirstLayer ? " (the outermost layer left out)" : "";
    return refuse(ProfileRefusal::TooFewPoints,
                  "参与回归的点只有 " + std::to_string(n) + " 个" + left + "，至少需要 " +
                      std::to_string(in.minimumPoints) + " 个。",
                  std::to_string(n) + " points in the regression" + leftEn + "; at least " +
                      std::to_string(in.minimumPoints) + " are needed");
  }
  if (n <= p) {
    return refuse(ProfileRefusal::NotMorePointsThanParameters,
                  "参与回归的点（" + std::to_string(n) + " 个）不多于待定参数（" +
                      std::to_string(p) + " 个），无法估计标准误差。",
                  std::to_string(n) + " points in the regression for " + std::to_string(p) +
                      " parameters: no standard error can be estimated");
  }
  // A content so large that its square overflows leaves no sum of squares to minimise.
  for (double y : d.y) {
    if (!std::isfinite(y * y) || !std::isfinite(d.background * d.background)) {
      return refuse(ProfileRefusal::NotANumber, "换算为 kg/m^3 后的氯离子含量超出可计算的范围。",
                    "a chloride content converted to kg/m3 is too large to compute with");
    }
  }
  // A profile that does not fall: the straight line through the points does not descend.
  double mx = 0, my = 0;
  for (int i = 0; i < n; ++i) {
    mx += d.x[i];
    my += d.y[i];
  }
  mx /= n;
  my /= n;
  double sxy = 0;
  for (int i = 0; i < n; ++i) sxy += (d.x[i] - mx) * (d.y[i] - my);
  if (!(sxy < 0)) {
    return refuse(ProfileRefusal::DoesNotFall, "氯离子含量不随深度减小，不能按扩散规律拟合。",
                  "the chloride content does not fall with depth; the profile cannot be "
                  "fitted as diffusion");
  }
  return std::nullopt;
}

// The solver's estimate.
struct Solution {
  Params est;
  int iterations = 0;
  bool atBound = false;  // C_i held at 0
};

// Levenberg–Marquardt from `start` on `d`; nothing when it does not reach a least-squares
// solution within kMaxIterations.
std::optional<Solution> least_squares(const Data& d, const Params& start) {
  quiet_gsl();
  const std::size_t n = d.x.size();
  const std::size_t p = d.fitBackground ? 3 : 2;
  std::unique_ptr<gsl_vector, VectorFree> x0(gsl_vector_alloc(p));
  gsl_vector_set(x0.get(), 0, start.cs);
  gsl_vector_set(x0.get(), 1, start.lnD);
  if (d.fitBackground) gsl_vector_set(x0.get(), 2, start.ci);

  gsl_multifit_nlinear_fdf fdf{};
  fdf.f = residuals;
  fdf.df = jacobian;
  fdf.fvv = nullptr;
  fdf.n = n;
  fdf.p = p;
  fdf.params = const_cast<Data*>(&d);
  gsl_multifit_nlinear_parameters settings = gsl_multifit_nlinear_default_parameters();
  settings.trs = gsl_multifit_nlinear_trs_lm;
  std::unique_ptr<gsl_multifit_nlinear_workspace, WorkspaceFree> w(
      gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &settings, n, p));
  gsl_multifit_nlinear_init(x0.get(), &fdf, w.get());
  int info = 0;
  // A step of a relative 1e-12 in every parameter (xtol), or a scaled gradient of 1e-12
  // (gtol), ends the iteration: ten thousand times finer than the least digit any estimate
  // is reported to, and still above the rounding of the sums of squares. The test of the
  // relative change of the sum of squares (ftol) is left out: it stops too early on a profile
  // whose residuals are all but zero.
  const int status = gsl_multifit_nlinear_driver(kMaxIterations, 1e-12, 1e-12, 0.0, nullptr,
                                                 nullptr, &info, w.get());
  const gsl_vector* xs = gsl_multifit_nlinear_position(w.get());
  const gsl_vector* f = gsl_multifit_nlinear_residual(w.get());
  const gsl_matrix* J = gsl_multifit_nlinear_jac(w.get());
  Solution s{params_of(xs, d), static_cast<int>(gsl_multifit_nlinear_niter(w.get())), false};
  const bool finite =
      std::isfinite(s.est.cs) && std::isfinite(s.est.lnD) && std::isfinite(s.est.ci);
  // The driver's own status is not the verdict: started at the scan's best point it may
  // report that it could make no step (or ran out of steps) while standing at the solution.
  // The verdict is the first-order condition itself.
  if (!finite || (status != GSL_SUCCESS && !orthogonal(J, f))) return std::nullopt;
  return s;
}

// The best curve with C_i >= 0: the solver's, held at C_i = 0 where the unbounded fit puts
// the background below zero or runs away (towards a straight line, C_s and C_i running apart),
// and checked against the scan of ln D (whose curve for each D is exact): where the scan finds
// a smaller sum of squares the solver stopped in a local minimum and starts again from the
// scan's best point, the better of the two taken.
std::optional<Solution> best_curve(const Data& d, const LnDRange& r) {
  const Params start = starting_point(d, r);
  std::optional<Solution> s = least_squares(d, start);
  if (d.fitBackground && (!s || s->est.ci < 0)) {
    Data held = d;
    held.fitBackground = false;
    held.background = 0;
    Params from = start;
    from.ci = 0;
    const auto bounded = least_squares(held, from);
    if (!bounded) return std::nullopt;
    s = Solution{bounded->est, (s ? s->iterations : 0) + bounded->iterations, true};
    s->est.ci = 0;
  }
  if (!s) return std::nullopt;
  double lnD = 0;
  const double scanned = least_over_d(d, r, Held::Nothing, 0, &lnD);
  const double solved = sum_of_squares(d, s->est);
  // A relative 1e-9: differences below it are the rounding of two ways to the same minimum.
  if (scanned < solved * (1 - 1e-9)) {
    double ssr = 0;
    const Params p = best_for(d, lnD, Held::Nothing, 0, ssr);
    Data again = d;
    std::optional<Solution> restarted;
    if (d.fitBackground && p.ci == 0) {
      again.fitBackground = false;
      again.background = 0;
    }
    restarted = least_squares(again, p);
    if (restarted && sum_of_squares(d, restarted->est) < ssr) {
      s = Solution{restarted->est, s->iterations + restarted->iterations, !again.fitBackground};
    } else {
      s = Solution{p, s->iterations, d.fitBackground && p.ci == 0};
    }
    if (d.fitBackground && s->atBound) s->est.ci = 0;
  }
  // An estimate of D far beyond the range where the curve can change at the points (the solver
  // walking along a flat valley) is the scan's best point inside it, which fits as well: the
  // searches of the intervals then stay within bounds.
  if (s->est.lnD < r.lo - 5 || s->est.lnD > r.hi + 5) {
    double ssr = 0;
    const Params p = best_for(d, lnD, Held::Nothing, 0, ssr);
    s = Solution{p, s->iterations, d.fitBackground && p.ci == 0};
  }
  return s;
}

// The variances of the parameters (C_s, ln D[, C_i]) per unit residual variance, (JᵀJ)⁻¹,
// from the Jacobian at the estimate, with C_i counted as free also where it is held at its
// bound; nothing when the Jacobian is too near singular to give them.
std::optional<std::vector<double>> unit_variances(const Data& d, const Params& est) {
  const std::size_t n = d.x.size();
  const std::size_t p = d.fitBackground ? 3 : 2;
  std::unique_ptr<gsl_matrix, MatrixFree> J(gsl_matrix_alloc(n, p));
  fill_jacobian(d, est, d.fitBackground, J.get());
  // The reciprocal condition number of the Jacobian with its columns scaled to unit length (so
  // that the units of the parameters do not count). The covariance is computed from it with an
  // error of about the machine precision over this number: at 1e-10 that leaves about six
  // correct digits, fewer below.
  std::unique_ptr<gsl_matrix, MatrixFree> A(gsl_matrix_alloc(n, p));
  gsl_matrix_memcpy(A.get(), J.get());
  for (std::size_t j = 0; j < p; ++j) {
    gsl_vector_view col = gsl_matrix_column(A.get(), j);
    const double norm = gsl_blas_dnrm2(&col.vector);
    if (!(norm > 0) || !std::isfinite(norm)) return std::nullopt;
    gsl_vector_scale(&col.vector, 1.0 / norm);
  }
  std::unique_ptr<gsl_matrix, MatrixFree> V(gsl_matrix_alloc(p, p));
  std::unique_ptr<gsl_vector, VectorFree> S(gsl_vector_alloc(p));
  std::unique_ptr<gsl_vector, VectorFree> work(gsl_vector_alloc(p));
  if (gsl_linalg_SV_decomp(A.get(), V.get(), S.get(), work.get()) != GSL_SUCCESS)
    return std::nullopt;
  const double rcond = gsl_vector_get(S.get(), p - 1) / gsl_vector_get(S.get(), 0);
  if (!(rcond > 1e-10)) return std::nullopt;
  std::unique_ptr<gsl_matrix, MatrixFree> covar(gsl_matrix_alloc(p, p));
  if (gsl_multifit_nlinear_covar(J.get(), 0.0, covar.get()) != GSL_SUCCESS) return std::nullopt;
  std::vector<double> v(p);
  for (std::size_t j = 0; j < p; ++j) {
    v[j] = gsl_matrix_get(covar.get(), j, j);
    if (!std::isfinite(v[j]) || !(v[j] > 0)) return std::nullopt;
  }
  return v;
}

// One end of a profile-likelihood interval: where the least sum of squares with the parameter
// held reaches `threshold`, going from the estimate towards `limit`; open when it stays below
// the threshold all the way to the limit.
struct End {
  double value = 0;
  bool open = false;
};

// Doublings of the first step before the limit is reached for certain: 2^200 times any step.
constexpr int kMaxDoublings = 200;

// Steps of the search for an end once it is bracketed: regula falsi with the Illinois
// change (Dowell and Jarratt, BIT 11, 1971), which converges superlinearly; it stops when
// the bracket is narrower than 1e-9 of the first step, far finer than the four significant
// digits an interval is reported to, or after 60 steps.
constexpr int kEndSteps = 60;

template <class Profile>
End interval_end(const Profile& ssrAt, double estimate, double step, double limit,
                 double threshold) {
  const double dir = limit > estimate ? 1.0 : -1.0;
  if (!(std::fabs(limit - estimate) > 0)) return {limit, false};
  if (!(step > 0) || !std::isfinite(step)) step = std::fabs(limit - estimate) * 1e-3;
  // g < 0 inside the interval, g > 0 outside.
  const auto g = [&](double v) { return ssrAt(v) - threshold; };
  double a = estimate, ga = g(estimate);
  double b = limit, gb = 0;
  bool crossed = false;
  for (int k = 0; k < kMaxDoublings; ++k) {
    const double v = estimate + dir * step * std::ldexp(1.0, k);
    const bool last = dir > 0 ? v >= limit : v <= limit;
    const double at = last ? limit : v;
    const double gv = g(at);
    if (gv > 0) {
      b = at;
      gb = gv;
      crossed = true;
      break;
    }
    a = at;
    ga = gv;
    if (last) break;
  }
  if (!crossed) return {limit, true};
  if (!(ga <= 0)) ga = 0;  // the estimate itself at the threshold (a curve through every point)
  int side = 0;
  const double width = 1e-9 * step;
  for (int k = 0; k < kEndSteps && std::fabs(b - a) > width; ++k) {
    double m = gb - ga != 0 ? (a * gb - b * ga) / (gb - ga) : (a + b) / 2;
    if (!(m > std::min(a, b) && m < std::max(a, b))) m = (a + b) / 2;
    const double gm = g(m);
    if (gm > 0) {
      b = m;
      gb = gm;
      if (side == 1) ga /= 2;
      side = 1;
    } else {
      a = m;
      ga = gm;
      if (side == -1) gb /= 2;
      side = -1;
    }
  }
  return {(a + b) / 2, false};
}

// The curve's estimates with their standard errors and profile-likelihood intervals.
void estimate_parameters(const Data& d, const LnDRange& r, const Solution& s,
                         const std::vector<double>& unitVar, double ssr, int dof, ProfileFit& fit) {
  const double s2 = ssr / dof;
  const double q = fit.tQuantile;
  // The sum of squares may exceed the least one by s² t² inside the interval.
  const double threshold = ssr + s2 * q * q;
  // The steps that start the search for each end: the interval's half-width by the curvature.
  const auto step = [&](std::size_t j) { return q * std::sqrt(s2 * unitVar[j]); };
  // The standard error each interval implies: its width over 2 t, in the parameter's own scale.
  // An open interval implies none.
  const auto implied = [&](const End& lo, const End& hi) {
    return lo.open || hi.open ? INFINITY : (hi.value - lo.value) / (2 * q);
  };
  const Params& e = s.est;

  // C_s: from the background (or 0) up to a hundred times the highest content measured.
  const double csFloor = d.fitBackground ? 0.0 : d.background;
  const double csCeiling = 100 * *std::max_element(d.y.begin(), d.y.end());
  const auto csProfile = [&](double v) { return least_over_d(d, r, Held::Surface, v); };
  const End csLo = interval_end(csProfile, e.cs, step(0), csFloor, threshold);
  const End csHi = interval_end(csProfile, e.cs, step(0), std::max(csCeiling, 2 * e.cs), threshold);
  fit.surface = {e.cs, implied(csLo, csHi), csLo.open ? csFloor : csLo.value,
                 csHi.open ? INFINITY : csHi.value};
  fit.surfaceOpen = {csLo.open, csHi.open};

  // ln D: over the range where the curve can change at the points.
  const auto dProfile = [&](double v) {
    double out = 0;
    best_for(d, v, Held::Nothing, 0, out);
    return out;
  };
  const End dLo = interval_end(dProfile, e.lnD, step(1), r.lo, threshold);
  const End dHi = interval_end(dProfile, e.lnD, step(1), r.hi, threshold);
  const double D = std::exp(e.lnD);
  fit.diffusion = {D, D * implied(dLo, dHi), dLo.open ? 0.0 : std::exp(dLo.value),
                   dHi.open ? INFINITY : std::exp(dHi.value)};
  fit.diffusionOpen = {dLo.open, dHi.open};

  fit.backgroundUsed = e.ci;
  fit.backgroundAtBound = s.atBound;
  if (d.fitBackground) {
    // C_i: from 0 (its bound, an end of the interval, never an open one) up to the highest
    // content measured, beyond which the profile would rise.
    const double ciCeiling = *std::max_element(d.y.begin(), d.y.end());
    const auto ciProfile = [&](double v) { return least_over_d(d, r, Held::Background, v); };
    const End ciLo = interval_end(ciProfile, e.ci, step(2), 0.0, threshold);
    const End ciHi = interval_end(ciProfile, e.ci, step(2), std::max(ciCeiling, e.ci), threshold);
    fit.background =
        Estimate{e.ci, implied(ciLo, ciHi), ciLo.value, ciHi.open ? INFINITY : ciHi.value};
    fit.backgroundOpen = {false, ciHi.open};
  }
}

// What the data leave open, said plainly, with what to do about it.
void state_verdict(const Data& d, ProfileFit& fit) {
  auto say = [&fit](std::string zh, std::string en) {
    fit.verdict.push_back({std::move(zh), std::move(en)});
  };
  const auto open = [&](const char* zhName, const char* enName, const OpenEnds& o, double lower,
                        double upper, const char* unit) {
    if (o.below && o.above) {
      say(std::string("由这条剖面无法确定") + zhName +
              "：所查范围内的任何值都与测点吻合（在其离散之内）。",
          std::string("the profile does not determine ") + enName +
              ": any value in the range searched fits the points within their noise");
    } else if (o.above) {
      say(std::string("由这条剖面无法确定") + zhName + "：大于 " + num(lower) + " " + unit +
              " 的任何值都与测点吻合（在其离散之内）。",
          std::string("the profile does not determine ") + enName + ": any value above " +
              num(lower) + " " + unit + " fits the points within their noise");
    } else if (o.below) {
      say(std::string("由这条剖面无法确定") + zhName + "：小于 " + num(upper) + " " + unit +
              " 的任何值都与测点吻合（在其离散之内）。",
          std::string("the profile does not determine ") + enName + ": any value below " +
              num(upper) + " " + unit + " fits the points within their noise");
    }
  };
  open("表面氯离子含量 C_s", "C_s", fit.surfaceOpen, fit.surface.lower, fit.surface.upper,
       "kg/m^3");
  open("表观扩散系数 D_a", "D_a", fit.diffusionOpen, fit.diffusion.lower, fit.diffusion.upper,
       "mm^2/a");
  if (fit.background) {
    open("背景氯离子含量 C_i", "C_i", fit.backgroundOpen, fit.background->lower,
         fit.background->upper, "kg/m^3");
  }
  if (fit.verdict.empty()) return;
  if (d.fitBackground) {
    say("请给定背景氯离子含量（取自氯离子未到达处的混凝土），或取更深的磨层，再拟合；"
        "此结果不送往计算表，也不给可靠度分析离散性。",
        "give the background content (measured on concrete the chloride has not reached) or "
        "take deeper layers, and fit again; nothing goes to the sheet or to a reliability "
        "analysis");
  } else {
    say("请取更深（或更多）的磨层再拟合；此结果不送往计算表，也不给可靠度分析离散性。",
        "take deeper (or more) layers and fit again; nothing goes to the sheet or to a "
        "reliability analysis");
  }
}

// What the user should know about the fit: how it was made, the conversion, the background,
// the intervals, the scatter handed on.
void describe_fit(const ProfileInput& in, const Data& d, double ssr, ProfileFit& fit) {
  auto note = [&fit](std::string zh, std::string en) {
    fit.notes.push_back({std::move(zh), std::move(en)});
  };
  note(
      "按 ASTM C1556 / NT Build 443 的惯例回归：各点等权，深度取各磨层的中点深度；"
      "误差函数为精确值。",
      "regression after the conventions of ASTM C1556 / NT Build 443: every point with the same "
      "weight, each layer at its mid-depth; the exact error function");
  if (in.leaveOutFirstLayer) {
    note("最外层（中点深度 " + num(in.depthMm[0]) + " mm）未参与回归。",
         "the outermost layer (mid-depth " + num(in.depthMm[0]) +
             " mm) is left out of the regression");
  }
  switch (in.unit) {
    case ChlorideUnit::PercentOfConcrete:
      note(unit_note(in),
           "contents converted from % by mass of concrete to kg/m3 with a density "
           "of " +
               num(in.densityKgM3) + " kg/m3");
      break;
    case ChlorideUnit::PercentOfBinder:
      note(unit_note(in),
           "contents converted from % by mass of binder to kg/m3 with a binder "
           "content of " +
               num(in.binderKgM3) + " kg/m3");
      break;
    case ChlorideUnit::KgPerCubicMetre:
      break;
  }
  switch (in.background) {
    case Background::Zero:
      note("背景氯离子含量取 0。", "background chloride content taken as 0");
      break;
    case Background::Given:
      note("背景氯离子含量取给定值 " + num(d.background) + " kg/m^3。",
           "background chloride content given: " + num(d.background) + " kg/m3");
      break;
    case Background::Fitted:
      note("背景氯离子含量作为参数拟合。", "background chloride content fitted as a parameter");
      break;
  }
  if (fit.backgroundAtBound) {
    note(
        "不受限的拟合会使背景含量低于 0；背景含量取其下限 0，曲线为背景不小于 0 时的最佳曲线，"
        "参数个数与自由度仍按背景为待定参数计。",
        "the unbounded fit puts the background below 0; it is held at its bound 0 (the best "
        "curve with a background of 0 or more), and the parameters and degrees of freedom "
        "still count it as fitted");
  }
  note(
      "95% 区间按轮廓似然给出：区间内的参数值（其余参数取其最佳值）使残差平方和比最小值增加不超过 "
      "s²·t²(0.975, n-p)；区间可不对称。标准误差由区间推得：区间宽度 / 2t（D_a 按 ln D_a 计）。",
      "the 95% intervals are profile-likelihood intervals: a value lies inside when, with the "
      "other parameters at their best for it, the sum of squared residuals exceeds the least "
      "one by no more than s^2 t^2(0.975, n-p); they need not be symmetric. The standard errors "
      "are those the intervals imply: width / 2t (on ln D_a for D_a)");
  if (fit.determined()) {
    note(
        "给可靠度分析的离散性取每个 95% 区间较长的一侧，使所给分布的 95% 区间包含整个区间："
        "C_s 按正态分布，D_a 按对数正态分布（按 ln D_a 计）。",
        "the scatter given to a reliability analysis takes the longer side of each 95% "
        "interval, so that the 95% interval of the law handed on holds the whole of it: C_s "
        "normal, D_a lognormal (on ln D_a)");
  }
  if (ssr == 0) {
    note("曲线通过每个测点：残差为零，标准误差为零。",
         "the curve passes through every point: zero residuals, zero standard errors");
  }
}

}  // namespace

Outcome<ProfileFit, ProfileRefusal> fit_profile(const ProfileInput& in) {
  if (auto r = check_input(in)) return *r;
  const Data d = regression_data(in);
  const int p = d.fitBackground ? 3 : 2;
  if (auto r = check_regression(in, d, p)) return *r;
  const int n = static_cast<int>(d.x.size());

  const LnDRange r = ln_d_range(d);
  const auto solution = best_curve(d, r);
  if (!solution) {
    return refuse(ProfileRefusal::NoConvergence,
                  "拟合在 " + std::to_string(kMaxIterations) +
                      " 次迭代内未收敛，请检查数据（深度、含量、龄期）是否合理。",
                  "the fit did not converge within " + std::to_string(kMaxIterations) +
                      " iterations; check the depths, contents and age");
  }
  const Params& est = solution->est;
  if (!(est.cs > est.ci)) {
    return refuse(ProfileRefusal::DoesNotFall,
                  "拟合得到的表面氯离子含量不高于背景含量，剖面不随深度减小。",
                  "the fitted surface content does not exceed the background: the profile does "
                  "not fall with depth");
  }
  const auto unitVar = unit_variances(d, est);
  if (!unitVar) {
    return refuse(ProfileRefusal::NotDetermined,
                  "由这条剖面无法同时确定各参数（剖面过平或过陡）；可给定背景含量，或增加测点。",
                  "the parameters cannot be told apart from this profile (too flat or too "
                  "steep); give the background content or measure more layers");
  }

  const double ssr = sum_of_squares(d, est);
  const int dof = n - p;
  ProfileFit fit;
  fit.ageYears = d.t;
  fit.pointsUsed = n;
  fit.parameters = p;
  fit.iterations = solution->iterations;
  fit.residualSd = std::sqrt(ssr / dof);
  fit.tQuantile = t_quantile(0.975, dof);
  // The search ranges reach the estimate wherever it lies.
  const LnDRange searched{std::min(r.lo, est.lnD - 1), std::max(r.hi, est.lnD + 1)};
  estimate_parameters(d, searched, *solution, *unitVar, ssr, dof, fit);

  double mean = 0;
  for (double y : d.y) mean += y;
  mean /= n;
  double sst = 0;
  for (double y : d.y) sst += (y - mean) * (y - mean);
  fit.rSquared = 1.0 - ssr / sst;

  const std::size_t first = in.leaveOutFirstLayer ? 1 : 0;
  for (std::size_t i = 0; i < in.depthMm.size(); ++i) {
    ProfilePoint pt;
    pt.depthMm = in.depthMm[i];
    pt.observed = to_kg_per_m3(in, in.chloride[i]);
    pt.fitted = fit.at(pt.depthMm);
    pt.residual = pt.observed - pt.fitted;
    pt.used = i >= first;
    fit.points.push_back(pt);
  }

  describe_fit(in, d, ssr, fit);
  state_verdict(d, fit);
  return fit;
}

curves::Chart profile_chart(const ProfileFit& fit) {
  curves::Chart c;
  c.kind = curves::ChartKind::Profile;
  c.title = "氯离子剖面拟合";
  c.xName = "距表面深度";
  c.xUnit = "mm";
  c.yName = "氯离子含量";
  c.yUnit = "kg/m^3";
  const double end = fit.points.empty() ? 1.0 : fit.points.back().depthMm * 1.15;
  curves::Series curve{"拟合曲线", {}};
  for (int i = 0; i <= curves::kDepthIntervals; ++i) {
    const double x = end * i / curves::kDepthIntervals;
    curve.points.push_back({x, fit.at(x)});
  }
  curves::Series used{"参与回归", {}};
  curves::Series left{"未参与回归", {}};
  for (const auto& pt : fit.points)
    (pt.used ? used : left).points.push_back({pt.depthMm, pt.observed});
  c.series.push_back(std::move(curve));
  c.series.push_back(std::move(used));
  if (!left.points.empty()) c.series.push_back(std::move(left));
  c.guides.push_back({curves::Guide::Orientation::Horizontal, fit.backgroundUsed, "背景 C_i"});
  c.notes.push_back("C_s = " + num(fit.surface.value) + " kg/m^3, D_a = " +
                    num(fit.diffusionCm2PerYear()) + " cm^2/a, R^2 = " + num(fit.rSquared));
  return c;
}

curves::Chart residual_chart(const ProfileFit& fit) {
  curves::Chart c;
  c.kind = curves::ChartKind::Profile;
  c.title = "拟合残差";
  c.xName = "距表面深度";
  c.xUnit = "mm";
  c.yName = "残差（实测 - 拟合）";
  c.yUnit = "kg/m^3";
  curves::Series used{"参与回归", {}};
  curves::Series left{"未参与回归", {}};
  for (const auto& pt : fit.points)
    (pt.used ? used : left).points.push_back({pt.depthMm, pt.residual});
  c.series.push_back(std::move(used));
  if (!left.points.empty()) c.series.push_back(std::move(left));
  c.guides.push_back({curves::Guide::Orientation::Horizontal, 0.0, "零残差"});
  return c;
}

double lognormal_cov(double lnSd) {
  return std::sqrt(std::expm1(lnSd * lnSd));
}

SheetTransfer constant_sheet_transfer(const ProfileFit& fit) {
  const sheet::SheetTable& table = modules::find_module("chloride-constant")->table();
  SheetTransfer out;
  if (!fit.determined()) return out;
  out.add(table, sheet::BoxRole::InspectionAge, fit.ageYears,
          sheet::general_digits(fit.ageYears, 15), std::nullopt, "取样龄期", "age at sampling");
  // The longer side of each interval, in the law's own scale, over t: the law's 95 % interval
  // then holds the whole interval of the fit.
  const double q = fit.tQuantile;
  const double lnD = std::log(fit.diffusion.value);
  const double lnSd =
      std::max(lnD - std::log(fit.diffusion.lower), std::log(fit.diffusion.upper) - lnD) / q;
  const double csSd =
      std::max(fit.surface.value - fit.surface.lower, fit.surface.upper - fit.surface.value) / q;
  out.add(table, sheet::BoxRole::Diffusion, fit.diffusionCm2PerYear(),
          sheet::general_digits(fit.diffusionCm2PerYear(), 4),
          mc::Scatter{lognormal_cov(lnSd), mc::Distribution::Lognormal}, "扩散系数",
          "diffusion coefficient");
  out.add(table, sheet::BoxRole::Surface, fit.surface.value,
          sheet::general_digits(fit.surface.value, 4),
          mc::Scatter{csSd / fit.surface.value, mc::Distribution::Normal}, "表面氯浓度",
          "surface concentration");
  return out;
}

}  // namespace pellucor::analysis::inspect
