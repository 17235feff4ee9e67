#include "analysis/inspect/export.hpp"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "analysis/batch/csv.hpp"
#include "modules/registry.hpp"

namespace pellucor::analysis::inspect {

namespace {

using Json = nlohmann::ordered_json;

Json number(double v) {
  return std::isfinite(v) ? Json(v) : Json(nullptr);
}

Json numbers(const std::vector<double>& v) {
  Json a = Json::array();
  for (double x : v) a.push_back(number(x));
  return a;
}

Json estimate(const Estimate& e, std::string_view unit) {
  Json j;
  j["value"] = number(e.value);
  j["standardError"] = number(e.standardError);
  j["lower95"] = number(e.lower);
  j["upper95"] = number(e.upper);
  j["unit"] = std::string(unit);
  return j;
}

Json sample(const Sample& s, std::string_view unit) {
  Json j;
  j["n"] = s.n;
  j["mean"] = number(s.mean);
  j["sd"] = number(s.sd);
  j["cov"] = number(s.cov());
  j["min"] = number(s.min);
  j["max"] = number(s.max);
  j["unit"] = std::string(unit);
  return j;
}

Json notes(const std::vector<text::Bilingual>& texts) {
  Json j;
  j["english"] = text::english(texts);
  j["chinese"] = text::chinese(texts);
  return j;
}

std::string_view alias_of(const sheet::SheetTable& table, sheet::Control c) {
  const sheet::FieldRow* f = table.field(c);
  return f != nullptr ? f->alias : sheet::control_name(c);
}

// What goes to the sheet: the boxes' texts by alias, their scatter, the values out of range.
// `table` null: any sheet's box of that alias (the cover).
Json transfer(const SheetTransfer& t, const sheet::SheetTable& table, bool anySheet) {
  Json j;
  j["sheet"] = anySheet ? Json(nullptr) : Json(std::string(table.cliName));
  Json boxes = Json::object();
  for (const auto& e : t.entries) boxes[std::string(alias_of(table, e.control))] = e.text;
  j["boxes"] = std::move(boxes);
  Json scatter = Json::object();
  for (const auto& s : t.scatter) {
    Json e;
    e["cov"] = number(s.scatter.cov);
    e["law"] = std::string(mc::distribution_name(s.scatter.dist));
    scatter[std::string(alias_of(table, s.box))] = std::move(e);
  }
  j["scatter"] = std::move(scatter);
  j["outOfRange"] = anySheet ? notes({}) : notes(t.outOfRange);
  return j;
}

std::string dump(const Json& j) {
  return j.dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
}

// A table of quantities: name, value, and the columns after it.
class QuantityTable {
 public:
  explicit QuantityTable(std::vector<std::string> header) : width_(header.size()) {
    batch::append_csv_line(text_, header);
  }
  void row(std::vector<std::string> cells) {
    cells.resize(width_);
    batch::append_csv_line(text_, cells);
  }
  void blank() { text_ += "\r\n"; }
  void restart(std::vector<std::string> header) {
    blank();
    width_ = header.size();
    batch::append_csv_line(text_, header);
  }
  std::string text() && { return std::move(text_); }

 private:
  std::size_t width_;
  std::string text_;
};

const std::vector<std::string> kEstimateHeader = {"quantity", "value",    "standard_error",
                                                  "lower_95", "upper_95", "unit"};

std::vector<std::string> estimate_row(std::string name, const Estimate& e, std::string unit) {
  return {std::move(name),   shortest(e.value), shortest(e.standardError),
          shortest(e.lower), shortest(e.upper), std::move(unit)};
}

std::vector<std::string> value_row(std::string name, double v, std::string unit = {}) {
  return {std::move(name), shortest(v), {}, {}, {}, std::move(unit)};
}

std::string_view unit_name(ChlorideUnit u) {
  switch (u) {
    case ChlorideUnit::PercentOfConcrete:
      return "percent-of-concrete";
    case ChlorideUnit::PercentOfBinder:
      return "percent-of-binder";
    case ChlorideUnit::KgPerCubicMetre:
      break;
  }
  return "kg/m3";
}

std::string_view background_name(Background b) {
  switch (b) {
    case Background::Given:
      return "given";
    case Background::Fitted:
      return "fitted";
    case Background::Zero:
      break;
  }
  return "zero";
}

const sheet::SheetTable& sheet_named(std::string_view name) {
  return modules::find_module(name)->table();
}

Estimate in_cm2(const Estimate& e) {
  return {e.value / 100.0, e.standardError / 100.0, e.lower / 100.0, e.upper / 100.0};
}

}  // namespace

std::string shortest(double v) {
  if (!std::isfinite(v)) return {};
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string transfer_assignments(const SheetTransfer& t, const sheet::SheetTable& table) {
  std::string out;
  for (const auto& e : t.entries) {
    if (!out.empty()) out += ' ';
    out += std::string(alias_of(table, e.control)) + "=" + e.text;
  }
  return out;
}

std::string transfer_scatter_options(const SheetTransfer& t, const sheet::SheetTable& table) {
  std::string out;
  for (const auto& s : t.scatter) {
    const std::string alias(alias_of(table, s.box));
    if (!out.empty()) out += ' ';
    out += "--cov " + alias + "=" + shortest(s.scatter.cov) + " --dist " + alias + "=" +
           std::string(mc::distribution_name(s.scatter.dist));
  }
  return out;
}

// ---- Chloride profile ---------------------------------------------------------------------

std::string profile_csv(const ProfileFit& fit) {
  QuantityTable t(kEstimateHeader);
  t.row(estimate_row("C_s", fit.surface, "kg/m3"));
  t.row(estimate_row("D_a", fit.diffusion, "mm2/a"));
  t.row(estimate_row("D_a", in_cm2(fit.diffusion), "cm2/a"));
  if (fit.background) {
    t.row(estimate_row("C_i", *fit.background, "kg/m3"));
  } else {
    t.row(value_row("C_i", fit.backgroundUsed, "kg/m3"));
  }
  t.row(value_row("R2", fit.rSquared));
  t.row(value_row("residual_sd", fit.residualSd, "kg/m3"));
  t.row(value_row("points_used", fit.pointsUsed));
  t.row(value_row("parameters", fit.parameters));
  t.row(value_row("t_quantile_975", fit.tQuantile));
  t.row(value_row("iterations", fit.iterations));
  t.row(value_row("age", fit.ageYears, "a"));
  t.restart({"depth_mm", "observed_kg_m3", "fitted_kg_m3", "residual_kg_m3", "in_regression"});
  for (const auto& p : fit.points) {
    t.row({shortest(p.depthMm), shortest(p.observed), shortest(p.fitted), shortest(p.residual),
           p.used ? "yes" : "no"});
  }
  return std::move(t).text();
}

std::string profile_json(const ProfileInput& in, const ProfileFit& fit) {
  Json j;
  j["analysis"] = "chloride-profile";
  Json input;
  input["unit"] = std::string(unit_name(in.unit));
  input["densityKgM3"] = number(in.densityKgM3);
  input["binderKgM3"] = number(in.binderKgM3);
  input["ageYears"] = number(in.ageYears);
  input["background"] = std::string(background_name(in.background));
  input["backgroundValue"] = number(in.backgroundValue);
  input["leaveOutFirstLayer"] = in.leaveOutFirstLayer;
  input["minimumPoints"] = in.minimumPoints;
  input["depthMm"] = numbers(in.depthMm);
  input["chloride"] = numbers(in.chloride);
  j["input"] = std::move(input);
  Json e;
  e["surface"] = estimate(fit.surface, "kg/m3");
  e["diffusion"] = estimate(fit.diffusion, "mm2/a");
  e["diffusionCm2PerYear"] = estimate(in_cm2(fit.diffusion), "cm2/a");
  if (fit.background) {
    e["background"] = estimate(*fit.background, "kg/m3");
  } else {
    e["background"] = {{"value", number(fit.backgroundUsed)}, {"unit", "kg/m3"}};
  }
  j["estimates"] = std::move(e);
  j["intervals"] = "profile-likelihood";
  j["backgroundAtBound"] = fit.backgroundAtBound;
  j["determined"] = fit.determined();
  j["verdict"] = notes(fit.verdict);
  j["rSquared"] = number(fit.rSquared);
  j["residualSd"] = number(fit.residualSd);
  j["pointsUsed"] = fit.pointsUsed;
  j["parameters"] = fit.parameters;
  j["tQuantile975"] = number(fit.tQuantile);
  j["iterations"] = fit.iterations;
  Json points = Json::array();
  for (const auto& p : fit.points) {
    points.push_back({{"depthMm", number(p.depthMm)},
                      {"observed", number(p.observed)},
                      {"fitted", number(p.fitted)},
                      {"residual", number(p.residual)},
                      {"inRegression", p.used}});
  }
  j["points"] = std::move(points);
  j["notes"] = notes(fit.notes);
  j["toSheet"] = transfer(constant_sheet_transfer(fit), sheet_named("chloride-constant"), false);
  return dump(j);
}

// ---- Carbonation depths -------------------------------------------------------------------

std::string carbonation_csv(const CarbonationSurvey& s) {
  QuantityTable t(kEstimateHeader);
  t.row(value_row("readings", static_cast<double>(s.depth.n)));
  t.row(value_row("age", s.ageYears, "a"));
  t.row({"depth_mean",
         shortest(s.depth.mean),
         shortest(s.depth.sd / std::sqrt(s.depth.n)),
         {},
         {},
         "mm"});
  t.row(value_row("depth_sd", s.depth.sd, "mm"));
  t.row(value_row("depth_cov", s.depth.cov()));
  t.row(value_row("depth_min", s.depth.min, "mm"));
  t.row(value_row("depth_max", s.depth.max, "mm"));
  t.row({"k_mean", shortest(s.k.mean), shortest(s.k.sd / std::sqrt(s.k.n)),
         shortest(s.kMeanInterval.lower), shortest(s.kMeanInterval.upper), "mm/a^0.5"});
  t.row(value_row("k_sd", s.k.sd, "mm/a^0.5"));
  t.row(value_row("k_cov", s.k.cov()));
  t.row(value_row("zero_readings", s.zeroReadings));
  return std::move(t).text();
}

std::string carbonation_json(const CarbonationInput& in, const CarbonationSurvey& s) {
  Json j;
  j["analysis"] = "carbonation-depths";
  j["input"] = {{"ageYears", number(in.ageYears)}, {"depthMm", numbers(in.depthMm)}};
  j["depth"] = sample(s.depth, "mm");
  j["k"] = sample(s.k, "mm/a^0.5");
  j["kMean95"] = {{"lower", number(s.kMeanInterval.lower)},
                  {"upper", number(s.kMeanInterval.upper)}};
  j["zeroReadings"] = s.zeroReadings;
  j["notes"] = notes(s.notes);
  j["toSheet"] = transfer(carbonation_sheet_transfer(s), sheet_named("carbonation"), false);
  return dump(j);
}

// ---- Cover thicknesses --------------------------------------------------------------------

std::string cover_csv(const CoverSurvey& s) {
  QuantityTable t(kEstimateHeader);
  t.row(value_row("readings", static_cast<double>(s.sample.n)));
  t.row(value_row("mean", s.sample.mean, "mm"));
  t.row(value_row("sd", s.sample.sd, "mm"));
  t.row(value_row("cov", s.sample.cov()));
  t.row(value_row("min", s.sample.min, "mm"));
  t.row(value_row("max", s.sample.max, "mm"));
  t.row(value_row("k_n", s.kn));
  for (const CoverLaw* law : {&s.normal, &s.lognormal}) {
    const std::string name(mc::distribution_name(law->law));
    t.row(value_row(name + "_characteristic_5pct", law->characteristic, "mm"));
    if (law->shareBelowDesign) {
      t.row(value_row(name + "_share_below_design", *law->shareBelowDesign));
    }
    if (law->test) {
      t.row(value_row(name + "_anderson_darling_a2", law->test->a2));
      t.row(value_row(name + "_anderson_darling_modified", law->test->modified));
      t.row(value_row(name + "_anderson_darling_p", law->test->pValue));
    }
  }
  if (s.designCoverMm) {
    t.row(value_row("design_cover", *s.designCoverMm, "mm"));
    t.row(value_row("readings_below_design", s.belowDesign));
    t.row(value_row("share_below_design_counted", s.observedShareBelow()));
  }
  t.row({"better_law",
         std::string(mc::distribution_name(s.better)),
         {},
         {},
         {},
         s.tested ? "anderson-darling" : "not tested"});
  return std::move(t).text();
}

std::string cover_json(const CoverInput& in, const CoverSurvey& s, const sheet::SheetTable* sheet) {
  Json j;
  j["analysis"] = "cover-survey";
  j["input"] = {{"readingsMm", numbers(in.readingsMm)},
                {"designCoverMm", in.designCoverMm ? number(*in.designCoverMm) : Json(nullptr)}};
  j["readings"] = sample(s.sample, "mm");
  j["kn"] = number(s.kn);
  Json laws = Json::object();
  for (const CoverLaw* law : {&s.normal, &s.lognormal}) {
    Json l;
    l["mu"] = number(law->mu);
    l["sigma"] = number(law->sigma);
    l["characteristic5pct"] = number(law->characteristic);
    l["shareBelowDesign"] = law->shareBelowDesign ? number(*law->shareBelowDesign) : Json(nullptr);
    if (law->test) {
      l["andersonDarling"] = {{"a2", number(law->test->a2)},
                              {"modified", number(law->test->modified)},
                              {"p", number(law->test->pValue)}};
    } else {
      l["andersonDarling"] = nullptr;
    }
    laws[std::string(mc::distribution_name(law->law))] = std::move(l);
  }
  j["laws"] = std::move(laws);
  j["better"] = std::string(mc::distribution_name(s.better));
  j["tested"] = s.tested;
  j["designCoverMm"] = s.designCoverMm ? number(*s.designCoverMm) : Json(nullptr);
  j["readingsBelowDesign"] = s.belowDesign;
  j["shareBelowDesignCounted"] = s.designCoverMm ? number(s.observedShareBelow()) : Json(nullptr);
  j["notes"] = notes(s.notes);
  const sheet::SheetTable& table = sheet != nullptr ? *sheet : sheet_named("carbonation");
  j["toSheet"] = transfer(cover_sheet_transfer(s, table), table, sheet == nullptr);
  return dump(j);
}

}  // namespace pellucor::analysis::inspect
