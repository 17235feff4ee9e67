#include "analysis/inspect/chloride_profile.hpp"

// The fit uses the nonlinear least-squares solver of the GNU Scientific Library
// (gsl_multifit_nlinear, Debian libgsl-dev) rather than Eigen's Levenberg–Marquardt: GSL's
// solver is part of the library's stable, documented API (Eigen's lives in its "unsupported"
// modules), it takes an analytic Jacobian, reports why it stopped, and the same library gives
// the covariance of the estimates, the reciprocal condition number of the Jacobian and the
// Student t quantiles of the intervals.
#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
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
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::inspect {

namespace {

using Refused = Refusal<ProfileRefusal>;

std::string num(double v, int digits = 4) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

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

int jacobian(const gsl_vector* v, void* data, gsl_matrix* J) {
  const Data& d = *static_cast<const Data*>(data);
  const Params p = params_of(v, d);
  const double D = std::exp(p.lnD);
  for (std::size_t i = 0; i < d.x.size(); ++i) {
    const double z = argument(d.x[i], D, d.t);
    const double e = std::erfc(z);
    gsl_matrix_set(J, i, 0, e);
    // d erfc(z) / d ln D = z * exp(-z²) / sqrt(pi), since dz / d ln D = -z / 2; it vanishes
    // where z has run off to infinity (D at zero).
    const double slope = std::isfinite(z) ? z * std::exp(-z * z) : 0.0;
    gsl_matrix_set(J, i, 1, (p.cs - p.ci) * slope / std::sqrt(std::numbers::pi));
    if (d.fitBackground) gsl_matrix_set(J, i, 2, 1.0 - e);
  }
  return GSL_SUCCESS;
}

// For a fixed D the curve is linear in C_s (and C_i): the best C_s (and C_i) for each D on a
// logarithmic grid around the profile's own scale give the solver its start.
Params starting_point(const Data& d) {
  std::vector<double> sorted = d.x;
  std::sort(sorted.begin(), sorted.end());
  const double xMid = sorted[sorted.size() / 2];
  const double dScale = xMid * xMid / (4.0 * d.t);
  Params best{};
  double bestSsr = INFINITY;
  const std::size_t n = d.x.size();
  std::vector<double> e(n);
  for (int k = -40; k <= 40; ++k) {
    const double D = dScale * std::pow(10.0, k / 10.0);
    for (std::size_t i = 0; i < n; ++i) e[i] = std::erfc(argument(d.x[i], D, d.t));
    Params p{0, std::log(D), d.background};
    if (d.fitBackground) {
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
      if (!(see > 0)) continue;
      const double a = sey / see;
      p.ci = my - a * me;
      p.cs = p.ci + a;
    } else {
      double see = 0, sey = 0;
      for (std::size_t i = 0; i < n; ++i) {
        see += e[i] * e[i];
        sey += e[i] * (d.y[i] - d.background);
      }
      if (!(see > 0)) continue;
      p.cs = d.background + sey / see;
    }
    double ssr = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double r = p.ci + (p.cs - p.ci) * e[i] - d.y[i];
      ssr += r * r;
    }
    if (ssr < bestSsr) {
      bestSsr = ssr;
      best = p;
    }
  }
  return best;
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
// "Numerical Methods for Unconstrained Optimization", 1983, section 7.2).
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

Outcome<ProfileFit, ProfileRefusal> fit_profile(const ProfileInput& in) {
  if (auto r = check_input(in)) return *r;

  Data d;
  d.t = in.ageYears;
  d.fitBackground = in.background == Background::Fitted;
  d.background = in.background == Background::Given ? to_kg_per_m3(in, in.backgroundValue) : 0.0;
  const std::size_t first = in.leaveOutFirstLayer ? 1 : 0;
  for (std::size_t i = first; i < in.depthMm.size(); ++i) {
    d.x.push_back(in.depthMm[i]);
    d.y.push_back(to_kg_per_m3(in, in.chloride[i]));
  }
  const int n = static_cast<int>(d.x.size());
  const int p = d.fitBackground ? 3 : 2;
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
  // A profile that does not fall: the straight line through the points does not descend.
  {
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
  }

  quiet_gsl();
  const Params start = starting_point(d);
  std::unique_ptr<gsl_vector, VectorFree> x0(gsl_vector_alloc(static_cast<std::size_t>(p)));
  gsl_vector_set(x0.get(), 0, start.cs);
  gsl_vector_set(x0.get(), 1, start.lnD);
  if (d.fitBackground) gsl_vector_set(x0.get(), 2, start.ci);

  gsl_multifit_nlinear_fdf fdf{};
  fdf.f = residuals;
  fdf.df = jacobian;
  fdf.fvv = nullptr;
  fdf.n = static_cast<std::size_t>(n);
  fdf.p = static_cast<std::size_t>(p);
  fdf.params = &d;
  gsl_multifit_nlinear_parameters settings = gsl_multifit_nlinear_default_parameters();
  settings.trs = gsl_multifit_nlinear_trs_lm;
  std::unique_ptr<gsl_multifit_nlinear_workspace, WorkspaceFree> w(
      gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &settings, static_cast<std::size_t>(n),
                                 static_cast<std::size_t>(p)));
  gsl_multifit_nlinear_init(x0.get(), &fdf, w.get());
  int info = 0;
  const int status = gsl_multifit_nlinear_driver(kMaxIterations, 1e-12, 1e-12, 0.0, nullptr,
                                                 nullptr, &info, w.get());
  const gsl_vector* xs = gsl_multifit_nlinear_position(w.get());
  const gsl_vector* f = gsl_multifit_nlinear_residual(w.get());
  const gsl_matrix* J = gsl_multifit_nlinear_jac(w.get());
  const Params est = params_of(xs, d);
  const bool finite = std::isfinite(est.cs) && std::isfinite(est.lnD) && std::isfinite(est.ci);
  if (!finite || status == GSL_EMAXITER || (status != GSL_SUCCESS && !orthogonal(J, f))) {
    return refuse(ProfileRefusal::NoConvergence,
                  "拟合在 " + std::to_string(kMaxIterations) +
                      " 次迭代内未收敛，请检查数据（深度、含量、龄期）是否合理。",
                  "the fit did not converge within " + std::to_string(kMaxIterations) +
                      " iterations; check the depths, contents and age");
  }
  if (!(est.cs > est.ci)) {
    return refuse(ProfileRefusal::DoesNotFall,
                  "拟合得到的表面氯离子含量不高于背景含量，剖面不随深度减小。",
                  "the fitted surface content does not exceed the background: the profile does "
                  "not fall with depth");
  }
  double rcond = 0;
  gsl_multifit_nlinear_rcond(&rcond, w.get());
  std::unique_ptr<gsl_matrix, MatrixFree> covar(
      gsl_matrix_alloc(static_cast<std::size_t>(p), static_cast<std::size_t>(p)));
  const double dNotDetermined = 1e-10;
  bool determined =
      rcond > dNotDetermined && gsl_multifit_nlinear_covar(J, 0.0, covar.get()) == GSL_SUCCESS;
  for (int j = 0; determined && j < p; ++j) {
    const double v =
        gsl_matrix_get(covar.get(), static_cast<std::size_t>(j), static_cast<std::size_t>(j));
    determined = std::isfinite(v) && v > 0;
  }
  if (!determined) {
    return refuse(ProfileRefusal::NotDetermined,
                  "由这条剖面无法同时确定各参数（剖面过平或过陡）；可给定背景含量，或增加测点。",
                  "the parameters cannot be told apart from this profile (too flat or too "
                  "steep); give the background content or measure more layers");
  }

  double ssr = 0;
  gsl_blas_ddot(f, f, &ssr);
  const int dof = n - p;
  const double s2 = ssr / dof;
  ProfileFit fit;
  fit.ageYears = d.t;
  fit.pointsUsed = n;
  fit.parameters = p;
  fit.iterations = static_cast<int>(gsl_multifit_nlinear_niter(w.get()));
  fit.residualSd = std::sqrt(s2);
  fit.tQuantile = t_quantile(0.975, dof);
  auto se = [&](int j) {
    return std::sqrt(
        s2 * gsl_matrix_get(covar.get(), static_cast<std::size_t>(j), static_cast<std::size_t>(j)));
  };
  const double q = fit.tQuantile;
  fit.surface = {est.cs, se(0), est.cs - q * se(0), est.cs + q * se(0)};
  const double D = std::exp(est.lnD);
  const double seLn = se(1);
  fit.diffusion = {D, D * seLn, std::exp(est.lnD - q * seLn), std::exp(est.lnD + q * seLn)};
  fit.backgroundUsed = est.ci;
  if (d.fitBackground)
    fit.background = Estimate{est.ci, se(2), est.ci - q * se(2), est.ci + q * se(2)};

  double mean = 0;
  for (double y : d.y) mean += y;
  mean /= n;
  double sst = 0;
  for (double y : d.y) sst += (y - mean) * (y - mean);
  fit.rSquared = 1.0 - ssr / sst;

  for (std::size_t i = 0; i < in.depthMm.size(); ++i) {
    ProfilePoint pt;
    pt.depthMm = in.depthMm[i];
    pt.observed = to_kg_per_m3(in, in.chloride[i]);
    pt.fitted = fit.at(pt.depthMm);
    pt.residual = pt.observed - pt.fitted;
    pt.used = i >= first;
    fit.points.push_back(pt);
  }

  auto note = [&fit](std::string zh, std::string en) {
    fit.notes.push_back(std::move(zh));
    fit.notesEnglish.push_back(std::move(en));
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
  note("扩散系数的 95% 区间按 ln D 对称给出。",
       "the 95% interval of the diffusion coefficient is symmetric in ln D");
  if (ssr == 0) {
    note("曲线通过每个测点：残差为零，标准误差为零。",
         "the curve passes through every point: zero residuals, zero standard errors");
  }
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

SheetTransfer constant_sheet_transfer(const ProfileFit& fit) {
  const sheet::SheetTable& table = modules::find_module("chloride-constant")->table();
  SheetTransfer out;
  out.add(table, "age", fit.ageYears, sheet::general_digits(fit.ageYears, 15), std::nullopt,
          "取样龄期", "age at sampling");
  out.add(table, "diffusion", fit.diffusionCm2PerYear(),
          sheet::general_digits(fit.diffusionCm2PerYear(), 4),
          mc::Scatter{fit.diffusion.cov(), mc::Distribution::Lognormal}, "扩散系数",
          "diffusion coefficient");
  out.add(table, "surface", fit.surface.value, sheet::general_digits(fit.surface.value, 4),
          mc::Scatter{fit.surface.cov(), mc::Distribution::Normal}, "表面氯浓度",
          "surface concentration");
  return out;
}

}  // namespace pellucor::analysis::inspect
