#include "reference_models.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "../model/reference_loops.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::reference {

namespace {

using sheet::box_text_single;
using sheet::number_double;
using sheet::result_line;

// ---------------------------------------------------------------------------------------------
// Error functions.

// Once a term no longer changes the sum, no later (smaller) term does: the loop's value is
// final. Stopping there returns the same value and keeps huge arguments from running for ever.
double erf_loop(double x, double h, double n) {
  double sum = 0;
  double t = 0;
  for (;;) {
    if (t > x) return sum;
    const double term = ((2 / std::sqrt(3.14159)) / std::exp(t * t)) / n;
    if (sum + term == sum) return sum;
    sum = sum + term;
    t = t + h;
  }
}
double erf_fine(double x) {
  return erf_loop(x, 2e-7, 5000000);
}
double erf_coarse(double x) {
  return erf_loop(x, 2e-6, 500000);
}

// The inverse; no value when the sum stops growing before it exceeds y.
std::optional<double> erf_fan(double y) {
  double sum = 0;
  double x = 0;
  for (;;) {
    if (sum > y) return x;
    const double term = ((2 / std::sqrt(3.14)) / std::exp(x * x)) / 500000;
    if (sum + term == sum) return std::nullopt;
    sum = sum + term;
    x = x + 2e-6;
  }
}

bool printable(double v) {
  return std::isfinite(v) && std::fabs(v) <= static_cast<double>(std::numeric_limits<float>::max());
}

// ---------------------------------------------------------------------------------------------
// Corrosion propagation and cover cracking.

struct Prop {
  double dcr = 0, tp = 0, tc = 0, eta = 0, l1 = 0, dd = 0, dtd = 0, td = 0, dt = 0;
  std::optional<double> w;  // none for wall or slab reinforcement
};

// False: the zero-rate guard stopped the calculation.
bool propagate(double ti, double l0, double s, double c, double d, double fcu, double t, int kind,
               Prop& p) {
  if (kind == 1 || kind == 2) {
    p.dcr = 0.012 * c / d + 0.00084 * fcu + 0.018;
  } else {
    p.dcr = 0.015 * std::pow(c / d, 1.55) + 0.0014 * fcu + 0.016;
  }
  p.tp = p.dcr / l0;
  p.tc = ti + p.tp;
  p.eta = 4.5 - s * l0;
  if (p.eta < 1.8) p.eta = 1.8;
  p.l1 = p.eta * l0;
  if (kind == 1) {
    p.dd = 0.255 + 0.012 * c / d + 0.00084 * fcu;
  } else if (kind == 2) {
    p.dd = 0.273 + 0.008 * c / d + 0.00055 * fcu;
  } else {
    p.dd = 0.3;
  }
  if (p.dd > 0.026 * d) p.dd = 0.026 * d;
  if (p.l1 == 0) return false;
  p.dtd = (p.dd - p.dcr) / p.l1;
  p.td = p.tc + p.dtd;
  const double L = 0.026 * d;
  if (L <= 0.3 && p.dcr >= L) p.td = ti + L / l0;
  if (L > 0.3 && p.dcr >= 0.3) p.td = ti + 0.3 / l0;
  if (t < p.tc) {
    p.dt = l0 * (t - ti);
  } else {
    p.dt = p.dcr + p.l1 * (t - p.tc);
  }
  if (kind == 1) p.w = (p.dt - 0.012 * c / d - 0.00084 * fcu - 0.08) / 0.07;
  if (kind == 2) p.w = (p.dt - 0.008 * c / d - 0.00055 * fcu - 0.015) / 0.086;
  return true;
}

bool printable(const Prop& p) {
  for (double v : {p.dcr, p.tp, p.tc, p.eta, p.l1, p.dd, p.dtd, p.td, p.dt}) {
    if (!printable(v)) return false;
  }
  return !p.w || printable(*p.w);
}

std::string width_line(const char* label, const Prop& p, const char* unit) {
  if (!p.w) return std::string(label) + " 不计算（墙板配筋）";
  return result_line(label, *p.w, unit);
}

// ---------------------------------------------------------------------------------------------
// Chloride corrosion rate and the cracking-time iteration.

double strength(double fcu) {
  if (fcu >= 40) return 11.1;
  if (fcu <= 30) return 5.6;
  return 5.6 + 0.55 * (fcu - 30);
}

// No value when the logarithm concentration is not positive.
std::optional<double> rate(double F, double CR, double CL, double T, double RH, double Ke,
                           bool admixed) {
  double q = 1.8 - CR;
  if (q < -1.8) q = -1.8;
  const double R = F * q + 10 * ((1 - RH) * (1 - RH)) + 4;
  if (!(CL > 0)) return std::nullopt;
  const double lnI = 0.618 * std::log(CL) + 8.617 - 3034 / (T + 273) - (5 / 1000.0) * R;
  const double i = std::exp(lnI);
  if (admixed) return 11.6 * i * 0.001 * Ke;
  return 11.6 * i * Ke / 1000;
}

constexpr int kPassBound = 1000;

// What the cracking-time iteration of a chloride sheet needs besides the sheet's own steps.
struct ChlorideSheet {
  double Ke = 0, T = 0, RH = 0, fcu = 0, t = 0;
  double cMm = 0, dMm = 0;  // as handed to the propagation steps
  double ti = 0;
  int kind = 0;
  bool admixed = false;
};

// Runs the iteration; false on a plausibility stop. `before()` computes the sheet's values
// ahead of the rate (false: stop); `conc(tcStar, CR, CL)` gives the resistance-term and
// logarithm concentrations at the assumed cracking time (false: stop). Every pass records the
// text written into the sheet's box; the last pass's rate, propagation and assumed time stay
// in `l0`, `p` and `lastTcStar`.
template <class Before, class Conc>
bool iterate(double tcStart, ChlorideSheet& s, Before before, Conc conc, double& l0, Prop& p,
             double& lastTcStar, SheetOutcome& out) {
  double tc = tcStart;
  for (int pass = 1; pass <= kPassBound; ++pass) {
    const double tcStar = tc;
    lastTcStar = tcStar;
    out.passes.push_back(box_text_single(tcStar));
    if (!before()) return false;
    const double F = strength(s.fcu);
    if (!(tcStar > 0)) return false;
    double CR = 0, CL = 0;
    if (!conc(tcStar, CR, CL)) return false;
    const auto rated = rate(F, CR, CL, s.T, s.RH, s.Ke, s.admixed);
    if (!rated) return false;
    l0 = *rated;
    if (!propagate(s.ti, l0, 26, s.cMm, s.dMm, s.fcu, s.t, s.kind, p)) return false;
    if (!printable(l0) || !printable(p)) return false;
    tc = p.tc;
    if (std::fabs(tc - tcStar) < 0.01) return true;
  }
  return false;  // the passes did not settle
}

// ---------------------------------------------------------------------------------------------
// Carbonation.

SheetOutcome carbonation(const SheetCase& in) {
  SheetOutcome out;
  const double m = in.box[1], T = in.box[2], fcu = in.box[4], c = in.box[5], t = in.box[6];
  const double x = in.box[7], kco2 = in.box[8], d = in.box[9];
  double RH = in.box[3];
  const int kind = in.kind;
  const bool indoor = in.option[3];
  const bool tension = in.option[1];
  const double Ks = (kind == 1 || kind == 2) ? 1.4 : 1.0;
  const double Kr = (kind == 1 || kind == 2) ? 1.6 : 1.0;
  const double Kw = indoor ? 1.0 : 1.1;

  double k;
  if (x == 0) {
    k = 3 * kco2 * Ks * 1.2 * Kw * std::pow(T, 0.25) * std::pow(RH, 1.5) * (1 - RH) *
        (58 / fcu - 0.76);
  } else {
    k = x / std::sqrt(t);
  }
  if (!(k > 0) || !printable(k)) {
    out.stopped = true;
    return out;
  }
  double cc = c;
  if (c > 28) cc = c + 0.066 * std::pow(c - 28, 0.47 * (k < 3.3 ? k : 3.3));
  const double x0 = (1.2 - 0.35 * std::sqrt(k)) * cc - 6 * (1.5 + 0.84 * k) / (m + 1.6);
  const double ti = ((c - x0) / k) * ((c - x0) / k);
  if (RH > 0.8) RH = 0.8;
  double l0;
  if (!indoor) {
    if (!(RH - 0.45 > 0)) {
      out.stopped = true;
      return out;
    }
    l0 = 7.53 * Kr * m * (0.75 + 0.0125 * T) * std::pow(RH - 0.45, 2.0 / 3.0) *
         std::pow(fcu, -1.8) * std::pow(c, -0.675);
  } else {
    if (!(RH - 0.5 > 0)) {
      out.stopped = true;
      return out;
    }
    l0 = 5.38 * Kr * m * (0.75 + 0.0125 * T) * std::pow(RH - 0.5, 2.0 / 3.0) * std::pow(fcu, -1.8) *
         std::pow(c, -0.675);
  }
  Prop p;
  if (!propagate(ti, l0, 340, c, d, fcu, t, kind, p) || !printable(p) ||
      !(printable(cc) && printable(x0) && printable(ti) && printable(l0))) {
    out.stopped = true;
    return out;
  }
  for (int forFile = 0; forFile < 2; ++forFile) {
    std::vector<std::string> lines = {
        result_line("碳化系数:", k),
        result_line("碳化残量:", x0, " mm"),
        result_line("钢筋开始锈蚀时间:", ti, " a"),
        result_line("保护层开裂前的钢筋腐蚀速度:", l0, " mm/a"),
        result_line("保护层开裂前的钢筋腐蚀深度:", p.dcr, " mm"),
        result_line("保护层开裂前的钢筋腐蚀时间:", p.tp, " a"),
        result_line("保护层开裂时间:", p.tc, "  a"),
        result_line("保护层开裂后的钢筋腐蚀速度:", p.l1, " mm/a"),
        result_line("检测时钢筋的腐蚀深度:", p.dt, forFile ? " mm" : "  mm"),
        width_line("检测时锈胀裂缝宽度:", p, forFile ? "  mm" : " mm"),
        result_line("耐久性终结时的钢筋腐蚀深度:", p.dd, " mm"),
        result_line("从保护层开裂到耐久性终结的时间:", p.dtd, " a"),
    };
    (forFile ? out.file : out.pane) = lines;
  }
  out.echo = {
      "局部环境系数= " + number_double(m) + ",环境温度（单位为摄示度）= " + number_double(T) +
          ",环境湿度= " + number_double(RH),
      "混凝土强度（单位为mpa）= " + number_double(fcu) + ",保护层厚度（单位为mm）= " +
          number_double(c) + ",结构使用（检测）时间（单位为a）= " + number_double(t),
      "实测碳化深度（单位为mm）= " + number_double(x) + ",二氧化碳浓度系数= " +
          number_double(kco2) + ",钢筋直径（单位为mm）= " + number_double(d),
      "钢筋种类= " + reference_steel_name(kind) + ",结构工作条件= " + (indoor ? "室内" : "室外") +
          ",钢筋应力状态= " + (tension ? "受拉" : "受压"),
  };
  return out;
}

// ---------------------------------------------------------------------------------------------
// The three diffusion sheets share their report lines (the marine sheet's differ in two units
// and one label).

std::vector<std::string> diffusion_lines(double D, double K, double ti, double l0, const Prop& p,
                                         bool marine, bool constant) {
  return {
      result_line("计算扩散系数:", D, " m^2/a"),
      result_line("氯侵蚀系数:", K, " mm/a^0.5"),
      result_line("钢筋开始锈蚀时间:", ti, constant ? "a" : " a"),
      result_line("保护层开裂前钢筋锈蚀速度:", l0, " mm/a"),
      result_line("保护层开裂前钢筋锈蚀深度:", p.dcr, " mm"),
      result_line("钢筋锈蚀时间:", p.tp, " a"),
      result_line("保护层开裂的时间:", p.tc, marine ? "a" : " a"),
      marine ? result_line("保护层开裂后钢筋锈蚀深度:", p.l1, " mm")
             : result_line("保护层开裂后钢筋锈蚀速度:", p.l1, " mm/a"),
      result_line("使用年限:", p.td, " a"),
      result_line("检测时的钢筋腐蚀深度:", p.dt, " mm"),
      width_line("检测时的裂缝宽度:", p, " mm"),
  };
}

std::string echo_climate(double Ke, double T, double RH) {
  return "局部环境系数= " + number_double(Ke) + ",环境温度（单位为摄示度）= " + number_double(T) +
         ",环境湿度= " + number_double(RH);
}
std::string echo_concrete(double fcu, double cMm, double t) {
  return "混凝土强度（单位为mpa）= " + number_double(fcu) +
         ",保护层厚度（单位为mm）= " + number_double(cMm) +
         ",结构使用（检测）时间（单位为a）= " + number_double(t);
}

ChlorideSheet climate(const SheetCase& in) {
  ChlorideSheet s;
  s.Ke = in.box[1];
  s.T = in.box[2];
  s.RH = in.box[3];
  s.fcu = in.box[4];
  s.t = in.box[6];
  s.kind = in.kind;
  return s;
}

// Constant diffusion coefficient.
SheetOutcome chloride_constant(const SheetCase& in) {
  SheetOutcome out;
  ChlorideSheet s = climate(in);
  const double c = in.box[5] / 1000;
  double D = in.box[7] / 10000;
  const double Cs = in.box[8], Ccr = in.box[9];
  const double x = in.box[10] / 1000, Cx = in.box[11], wc = in.box[12];
  const double d = in.box[14] / 1000;
  const bool measured = in.option[1];
  s.cMm = c * 1000;
  s.dMm = d * 1000;
  double K = 0, l0 = 0, tcStar = 0;
  bool first = true;
  Prop p;
  auto before = [&] {
    if (!first) return true;
    first = false;
    if (D == 0) {
      if (measured) {
        const auto zx = erf_fan(1 - Cx / Cs);
        if (!zx) return false;
        D = x * x / (4 * s.t * (*zx * *zx));
      } else {
        D = (7.08 * wc - 1.846) * (0.0447 * s.T - 0.052) / 10000;
      }
      if (!(D > 0) || !printable(D)) return false;
    }
    const auto zcr = erf_fan(1 - Ccr / Cs);
    if (!zcr) return false;
    K = 2 * *zcr * std::sqrt(D);
    s.ti = (c / K) * (c / K);
    return printable(K) && printable(s.ti);
  };
  auto conc = [&](double tc, double& CR, double& CL) {
    const double Cb = Cs * (1 - erf_fine(c / (2 * std::sqrt(D * tc))));
    CR = (Cs + Cb) / 2;
    CL = Cb;
    return true;
  };
  if (!iterate(in.box[13], s, before, conc, l0, p, tcStar, out)) {
    out.stopped = true;
    return out;
  }
  out.pane = diffusion_lines(D, K, s.ti, l0, p, false, true);
  out.file = out.pane;
  out.echo = {
      echo_climate(s.Ke, s.T, s.RH),
      echo_concrete(s.fcu, c * 1000, s.t),
      "氯离子扩散系数（单位为cm^2/a）= " + number_double(D * 10000) +
          ",表面氯浓度（单位为kg/m^3）= " + number_double(Cs) +
          ",氯临界浓度（单位为kg/m^3）= " + number_double(Ccr),
      "距表面深度（单位为mm）= " + number_double(x * 1000) +
          ",实测氯浓度单位为kg/m^3= " + number_double(Cx) + ",水灰比= " + number_double(wc),
      "初设开裂时间（单位为a）= " + number_double(tcStar) + ",钢筋直径(单位为mm) = " +
          number_double(d * 1000) + ",钢筋种类 = " + reference_steel_name(s.kind),
      std::string("扩散系数来源= ") + (measured ? "由实测氯浓度推算" : "由距表面深度推算"),
  };
  return out;
}

// Time-dependent diffusion coefficient.
SheetOutcome chloride_variable(const SheetCase& in) {
  SheetOutcome out;
  ChlorideSheet s = climate(in);
  const double c = in.box[5] / 1000;
  const double m = in.box[7], Cs = in.box[8], Ccr = in.box[9];
  const double x = in.box[10] / 1000, Cx = in.box[11];
  const double d = in.box[13] / 1000;
  s.cMm = in.box[5];  // the values typed
  s.dMm = in.box[13];
  double D = 0, K = 0, l0 = 0, tcStar = 0;
  bool first = true;
  Prop p;
  auto before = [&] {
    if (!first) return true;
    first = false;
    const auto zx = erf_fan(1 - Cx / Cs);
    const auto zcr = erf_fan(1 - Ccr / Cs);
    if (!zx || !zcr) return false;
    D = x * x / (4 * s.t * (*zx * *zx));
    if (!(D > 0) || !printable(D)) return false;
    const double g = 1 / (1 - m);
    s.ti = std::pow(c * c / (4 * D * std::pow(s.t, m) * (*zcr * *zcr) * g), g);
    K = 2 * *zcr * std::sqrt(D);
    return printable(s.ti) && printable(K);
  };
  auto conc = [&](double tc, double& CR, double& CL) {
    const double Cb = Cs * (1 - erf_fine(c / (2 * std::sqrt(D * tc))));
    CR = (Cs + Cb) / 2;
    CL = Cb;
    return true;
  };
  if (!iterate(in.box[12], s, before, conc, l0, p, tcStar, out)) {
    out.stopped = true;
    return out;
  }
  out.pane = diffusion_lines(D, K, s.ti, l0, p, false, false);
  out.file = out.pane;
  out.echo = {
      echo_climate(s.Ke, s.T, s.RH),
      echo_concrete(s.fcu, c * 1000, s.t),
      "扩散系数时间依赖系数= " + number_double(m) + ",表面氯浓度（单位为kg/m^3）= " +
          number_double(Cs) + ",氯临界浓度（单位为kg/m^3）= " + number_double(Ccr),
      "初设开裂时间（单位为a）= " + number_double(tcStar) + ",钢筋直径(单位为mm) = " +
          number_double(d * 1000) + ",钢筋种类 = " + reference_steel_name(s.kind),
      "距表面深度（单位为mm）= " + number_double(x * 1000) +
          ",实测氯浓度单位为kg/m^3= " + number_double(Cx),
  };
  return out;
}

constexpr int kSearchBound = 10000;

// A half-year step search from `time`: down while the concentration is above C_cr, up
// otherwise, until it lies within 0.5 of C_cr. False: the time reached zero (or stepped past
// it), or the search did not settle.
template <class Conc>
bool search(double& time, double Ccr, Conc conc) {
  double C = 0;
  for (int round = 1; round <= kSearchBound; ++round) {
    if (C > Ccr) {
      time = time - 0.5;
    } else {
      time = time + 0.5;
    }
    if (!(time > 0)) return false;
    C = conc(time);
    if (!printable(C)) return false;
    if (std::fabs(Ccr - C) < 0.5) return true;
  }
  return false;
}

// Marine atmosphere.
SheetOutcome marine(const SheetCase& in) {
  SheetOutcome out;
  ChlorideSheet s = climate(in);
  const double c = in.box[5] / 1000;
  double D = in.box[7] / 10000;
  const double Cs = in.box[8], Ccr = in.box[9];
  const double x = in.box[10] / 1000, Cx = in.box[11], wc = in.box[12];
  const double d = in.box[14] / 1000;
  const double k = in.box[15], ts = in.box[16], tiStart = in.box[17], T2Start = in.box[18];
  const bool measured = in.option[1];
  s.cMm = c * 1000;
  s.dMm = d * 1000;

  const auto zx = erf_fan(1 - Cx / Cs);
  const auto zcr = erf_fan(1 - Ccr / Cs);
  if (!zx || !zcr) {
    out.stopped = true;
    return out;
  }
  if (D == 0) {
    if (measured) D = x * x / (4 * s.t * (*zx * *zx));
    if (!measured) D = (7.08 * wc - 1.846) * (0.0447 * s.T - 0.052) / 10000;
  }
  if (!(D > 0) || !printable(D)) {
    out.stopped = true;
    return out;
  }
  const double K = 2 * std::sqrt(D) * *zcr;

  double ti = tiStart;
  const bool first = search(ti, Ccr, [&](double tt) {
    const double u = 0.5 * c / std::sqrt(D * tt);
    const double e = u <= 2.36 ? erf_coarse(u) : 1;
    return k * std::sqrt(tt) *
           (std::exp(-0.25 * c * c / D / tt) - std::sqrt(3.14159) * u * (1 - e));
  });
  if (!first) {
    out.stopped = true;
    return out;
  }
  if (ti > ts) {
    const double us = 0.5 * c / std::sqrt(D * ts);
    const double es = us <= 2.36 ? erf_coarse(us) : 1;
    const double C1 = Cs * (std::exp(-0.25 * c * c / D / ts) - std::sqrt(3.14159) * us * (1 - es));
    double T2 = T2Start;
    const bool second = search(T2, Ccr, [&](double t2) {
      const double u2 = 0.5 * c / std::sqrt(D * t2);
      const double e2 = u2 <= 2.36 ? erf_coarse(u2) : 1;
      return C1 + (Cs - C1) * (1 - e2);
    });
    if (!second) {
      out.stopped = true;
      return out;
    }
    ti = ts + T2;
  }
  if (!printable(K) || !printable(ti)) {
    out.stopped = true;
    return out;
  }
  s.ti = ti;

  double l0 = 0, tcStar = 0;
  Prop p;
  auto before = [] { return true; };
  auto conc = [&](double tc, double& CR, double& CL) {
    const double uc = c / (2 * std::pow(D * tc, 0.5));
    const double Cb = Cs * (1 - erf_coarse(uc));
    CR = (Cs + Cb) / 2;
    CL = Cb;
    return true;
  };
  if (!iterate(in.box[13], s, before, conc, l0, p, tcStar, out)) {
    out.stopped = true;
    return out;
  }
  out.pane = diffusion_lines(D, K, s.ti, l0, p, true, false);
  out.file = out.pane;
  out.echo = {
      echo_climate(s.Ke, s.T, s.RH),
      echo_concrete(s.fcu, c * 1000, s.t),
      "氯离子扩散系数（单位为cm^2/a）= " + number_double(D * 10000) +
          ",表面氯浓度（单位为kg/m^3）= " + number_double(Cs) +
          ",氯临界浓度（单位为kg/m^3）= " + number_double(Ccr),
      "距表面深度（单位为mm）= " + number_double(x * 1000) +
          ",实测氯浓度单位为kg/m^3= " + number_double(Cx) + ",水灰比= " + number_double(wc),
      "初设开裂时间（单位为a）= " + number_double(tcStar) + ",钢筋直径(单位为mm) = " +
          number_double(d * 1000) + ",钢筋种类 = " + reference_steel_name(s.kind),
      "积累到稳定值的时间（单位为a）= " + number_double(ts) + ",初设开始锈蚀时间（单位为a） = " +
          number_double(tiStart) + ",初设T2时间（单位为a） = " + number_double(T2Start),
      std::string("扩散系数来源= ") + (measured ? "由实测氯浓度推算" : "由距表面深度推算") +
          ",累计系数（单位为kg/a^0.5）= " + number_double(k),
  };
  return out;
}

// Chloride admixed at casting: no initiation stage.
SheetOutcome admixed(const SheetCase& in) {
  SheetOutcome out;
  ChlorideSheet s = climate(in);
  s.admixed = true;
  s.cMm = in.box[5];
  s.dMm = in.box[9];
  s.ti = 0;
  const double C0 = in.box[8];
  double l0 = 0, tcStar = 0;
  Prop p;
  auto before = [] { return true; };
  auto conc = [&](double tc, double& CR, double& CL) {
    CR = C0;
    CL = C0 * (0.368 + 11.1 / (std::pow(C0, 0.9) * std::pow(tc, 0.93)));
    return printable(CL);
  };
  if (!iterate(in.box[7], s, before, conc, l0, p, tcStar, out)) {
    out.stopped = true;
    return out;
  }
  out.pane = {
      result_line("保护层开裂前钢筋锈蚀速度:", l0, " mm/a"),
      result_line("保护层开裂前钢筋锈蚀深度:", p.dcr, " mm"),
      result_line("保护层开裂的时间:", p.tc, " a"),
      result_line("保护层开裂后钢筋锈蚀速度:", p.l1, " mm/a"),
      result_line("性能严重退化时腐蚀深度: ", p.dd, " mm"),
      result_line("性能严重退化的时间:", p.td, " a"),
      result_line("检测时的钢筋腐蚀深度:", p.dt, " mm"),
      width_line("检测时的裂缝宽度:", p, " mm"),
  };
  out.file = out.pane;
  out.echo = {
      "局部环境系数= " + number_double(s.Ke) + ",环境温度（单位为摄示度）=" + number_double(s.T) +
          ",环境湿度=" + number_double(s.RH),
      "混凝土强度（单位为mpa）=" + number_double(s.fcu) + ",保护层厚度（单位为mm）=" +
          number_double(in.box[5]) + ",结构使用（检测）时间（单位为a）=" + number_double(s.t),
      "初设开裂时间（单位为a）= " + number_double(tcStar) + ",钢筋直径(单位为mm) = " +
          number_double(in.box[9]) + ",钢筋种类 = " + reference_steel_name(s.kind),
      ",表面氯浓度（单位为kg/m^3）= " + number_double(C0),
  };
  return out;
}

}  // namespace

std::string reference_steel_name(int kind) {
  const char* names[] = {"圆钢筋", "变形钢筋", "墙板配筋"};
  const int chars[] = {3, 4, 4};
  if (kind < 1 || kind > 3) return std::string(10, ' ');
  return std::string(names[kind - 1]) +
         std::string(static_cast<std::size_t>(10 - chars[kind - 1]), ' ');
}

SheetOutcome run_reference(const SheetCase& c) {
  switch (c.sheet) {
    case 1:
      return carbonation(c);
    case 2:
      return chloride_constant(c);
    case 3:
      return chloride_variable(c);
    case 4:
      return marine(c);
    case 5:
      return admixed(c);
    default:
      return SheetOutcome{{}, true, {}, {}, {}};
  }
}

}  // namespace pellucor::reference
