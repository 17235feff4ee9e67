#include "analysis/project/project.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <unordered_map>

#include "analysis/assess/margin.hpp"
#include "analysis/batch/batch.hpp"
#include "analysis/inspect/typing_bounds.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/project/json_reading.hpp"
#include "analysis/project/save_file.hpp"
#include "analysis/text/digits.hpp"
#include "modules/registry.hpp"
#include "platform/files.hpp"
#include "sheet/control_names.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::analysis::project {

namespace {

using Refused = Refusal<OpenRefusal>;

// ---- Writing -------------------------------------------------------------------------------

// A number; one that is not finite is kept as null ("no value").
Json number(double v) {
  return std::isfinite(v) ? Json(v) : Json(nullptr);
}

Json numbers(const std::vector<double>& v) {
  Json a = Json::array();
  for (double x : v) a.push_back(number(x));
  return a;
}

Json optional_number(const std::optional<double>& v) {
  return v ? number(*v) : Json(nullptr);
}

std::string_view unit_key(inspect::ChlorideUnit u) {
  switch (u) {
    case inspect::ChlorideUnit::PercentOfConcrete:
      return "percent-of-concrete";
    case inspect::ChlorideUnit::PercentOfBinder:
      return "percent-of-binder";
    case inspect::ChlorideUnit::KgPerCubicMetre:
      break;
  }
  return "kg/m3";
}

std::string_view background_key(inspect::Background b) {
  switch (b) {
    case inspect::Background::Given:
      return "given";
    case inspect::Background::Fitted:
      return "fitted";
    case inspect::Background::Zero:
      break;
  }
  return "zero";
}

Json estimate(const inspect::Estimate& e) {
  Json j;
  j["value"] = number(e.value);
  j["standardError"] = number(e.standardError);
  j["lower"] = number(e.lower);
  j["upper"] = number(e.upper);
  return j;
}

Json limit_states(const std::vector<assess::LimitState>& states) {
  Json a = Json::array();
  for (auto s : states) a.push_back(std::string(assess::limit_state_key(s)));
  return a;
}

Json measured_json(const std::optional<MeasuredRecord>& m) {
  if (!m) return nullptr;
  Json j;
  j["value"] = number(m->value);
  j["sd"] = number(m->sd);
  return j;
}

template <class T>
Json three(const std::array<T, 3>& v) {
  Json a = Json::array();
  for (const auto& x : v) {
    if constexpr (std::is_same_v<T, double>) {
      a.push_back(number(x));
    } else {
      a.push_back(x);
    }
  }
  return a;
}

// Written through the tables of keys below.
Json profile_json(const ProfileRecord& r);
Json update_json(const UpdateRecord& u);
Json carbonation_json(const inspect::CarbonationInput& c);
Json cover_json(const inspect::CoverInput& c);
Json structure_json(const Structure& s);
Json assessment_json(const assess::Settings& a);
Json reliability_json(const ReliabilitySettings& r);

// The last outcome of an update, or null.
Json last_update_json(const std::optional<UpdateOutcome>& last) {
  Json j;
  if (const auto& o = last) {
    Json l;
    l["samples"] = o->samples;
    l["seed"] = o->seed;
    l["targetAge"] = number(o->targetAge);
    l["method"] = o->method;
    l["draws"] = o->draws;
    l["effective"] = number(o->effective);
    l["paretoK"] = optional_number(o->paretoK);
    l["passed"] = o->passed;
    Json p;
    p["prior"] = three(o->priorP);
    p["posterior"] = three(o->posteriorP);
    l["p"] = std::move(p);
    l["se"] = three(o->posteriorSe);
    Json b;
    b["prior"] = three(o->priorBeta);
    b["posterior"] = three(o->posteriorBeta);
    l["beta"] = std::move(b);
    j = std::move(l);
  } else {
    j = nullptr;
  }
  return j;
}

Json member_json(const Member& m) {
  Json j;
  j["name"] = m.name;
  j["sheet"] = m.sheet;
  Json boxes = Json::object();
  for (const auto& [c, text] : m.boxes) boxes[std::string(sheet::control_name(c))] = text;
  j["boxes"] = std::move(boxes);
  j["steel"] = m.steel;
  Json options = Json::array();
  for (auto c : m.options) options.push_back(std::string(sheet::control_name(c)));
  j["options"] = std::move(options);
  j["limitStates"] = m.limitStates ? limit_states(*m.limitStates) : Json(nullptr);
  Json scatter = Json::object();
  for (const auto& [c, s] : m.scatter) {
    Json e;
    e["cov"] = number(s.cov);
    e["law"] = std::string(mc::distribution_name(s.law));
    scatter[std::string(sheet::control_name(c))] = std::move(e);
  }
  j["scatter"] = std::move(scatter);
  Json ins;
  Json profiles = Json::array();
  for (const auto& p : m.inspection.profiles) profiles.push_back(profile_json(p));
  ins["profiles"] = std::move(profiles);
  const auto& carbonation = m.inspection.carbonation;
  ins["carbonation"] = carbonation ? carbonation_json(*carbonation) : Json(nullptr);
  const auto& cover = m.inspection.cover;
  ins["cover"] = cover ? cover_json(*cover) : Json(nullptr);
  j["inspection"] = std::move(ins);
  if (m.update) j["update"] = update_json(*m.update);
  return j;
}

// ---- Reading -------------------------------------------------------------------------------

// Reads the parts of a JSON document it knows, notes everything it skips.
class Reader {
 public:
  explicit Reader(std::vector<Skipped>& skipped) : skipped_(skipped) {}

  // Named one by one up to kMaxSkippedNamed, counted beyond (see counted()).
  void skip(const std::string& where, std::string text, std::string message) {
    if (skipped_.size() < kMaxSkippedNamed) {
      skipped_.push_back({where, std::move(text), std::move(message)});
    } else {
      ++more_;
    }
  }
  std::size_t more() const { return more_; }

  void conflict(const std::string& where, std::string text, std::string message) {
    if (conflicts.size() < kMaxSkippedNamed) {
      conflicts.push_back({where, std::move(text), std::move(message)});
    }
  }

  // Whether a text is within its limit; one beyond it refuses the whole file (the first such
  // is kept as the reason).
  bool within(const std::string& text, std::size_t most, const std::string& where,
              std::string_view what, std::string_view whatEnglish) {
    const std::size_t n = character_count(text);
    if (n <= most) return true;
    if (!fatal) {
      fatal = Refused{OpenRefusal::BeyondLimits,
                      where + "：" + std::string(what) + "有 " + std::to_string(n) +
                          " 个字符，超过上限 " + std::to_string(most) +
                          " 个字符（本程序不写出这样的文件）。",
                      where + ": " + std::string(whatEnglish) + " of " + std::to_string(n) +
                          " characters, more than the " + std::to_string(most) + " allowed"};
    }
    return false;
  }
  // The same for the length of a list.
  bool within(std::size_t n, std::size_t most, const std::string& where, std::string_view what,
              std::string_view whatEnglish) {
    if (n <= most) return true;
    if (!fatal) {
      fatal =
          Refused{OpenRefusal::BeyondLimits,
                  where + "：" + std::string(what) + "有 " + std::to_string(n) + " 个，超过上限 " +
                      std::to_string(most) + " 个（本程序不写出这样的文件）。",
                  where + ": " + std::to_string(n) + " " + std::string(whatEnglish) +
                      ", more than the " + std::to_string(most) + " allowed"};
    }
    return false;
  }

  std::vector<Skipped> conflicts;
  std::optional<Refused> fatal;

  // Every key of `j` not in `known` is named as skipped.
  void unknown_keys(const Json& j, const std::string& where,
                    std::initializer_list<std::string_view> known) {
    unknown_keys(j, where, std::vector<std::string_view>(known));
  }
  void unknown_keys(const Json& j, const std::string& where,
                    const std::vector<std::string_view>& known) {
    for (const auto& [key, value] : j.items()) {
      if (std::find(known.begin(), known.end(), key) == known.end()) {
        skip(where + "/" + key, "未知项（可能由较新的版本写入），已跳过。",
             "unknown entry (perhaps written by a newer version), skipped");
      }
    }
  }

  // A value of `j[key]` read by `take` when it is of the right kind; otherwise the default
  // stays and the entry is named. A missing key keeps the default silently only when it is
  // optional.
  template <class T>
  void read(const Json& j, std::string_view key, const std::string& where, T& out,
            bool optional = false) {
    const std::string at = where + "/" + std::string(key);
    const auto it = j.find(key);
    if (it == j.end()) {
      if (!optional) skip(at, "缺少此项，取默认值。", "missing, the default is used");
      return;
    }
    if (!take(*it, out)) {
      skip(at, "类型不符，已跳过，取默认值。",
           "not of the expected kind, skipped; the default is used");
    }
  }

  static bool take(const Json& v, std::string& out) {
    if (!v.is_string()) return false;
    out = v.get<std::string>();
    return true;
  }
  static bool take(const Json& v, double& out) {
    if (v.is_null()) {
      out = NAN;
      return true;
    }
    if (!v.is_number()) return false;
    out = v.get<double>();
    return true;
  }
  static bool take(const Json& v, int& out) {
    if (!v.is_number_integer()) return false;
    const auto x = v.get<std::int64_t>();
    if (x < INT32_MIN || x > INT32_MAX) return false;
    out = static_cast<int>(x);
    return true;
  }
  static bool take(const Json& v, std::uint64_t& out) {
    if (!v.is_number_unsigned()) return false;
    out = v.get<std::uint64_t>();
    return true;
  }
  static bool take(const Json& v, bool& out) {
    if (!v.is_boolean()) return false;
    out = v.get<bool>();
    return true;
  }
  static bool take(const Json& v, std::optional<double>& out) {
    if (v.is_null()) {
      out.reset();
      return true;
    }
    if (!v.is_number()) return false;
    out = v.get<double>();
    return true;
  }
  static bool take(const Json& v, std::vector<double>& out) {
    if (!v.is_array()) return false;
    std::vector<double> r;
    for (const auto& x : v) {
      double d = 0;
      if (!take(x, d)) return false;
      r.push_back(d);
    }
    out = std::move(r);
    return true;
  }
  static bool take(const Json& v, std::vector<assess::LimitState>& out) {
    if (!v.is_array()) return false;
    std::vector<assess::LimitState> r;
    for (const auto& x : v) {
      if (!x.is_string()) return false;
      const auto s = assess::limit_state_from_key(x.get<std::string>());
      if (!s) return false;
      r.push_back(*s);
    }
    out = std::move(r);
    return true;
  }
  static bool take(const Json& v, inspect::Estimate& out) {
    if (!v.is_object()) return false;
    inspect::Estimate e;
    for (auto [key, field] : {std::pair<const char*, double*>{"value", &e.value},
                              {"standardError", &e.standardError},
                              {"lower", &e.lower},
                              {"upper", &e.upper}}) {
      const auto it = v.find(key);
      if (it == v.end() || !take(*it, *field)) return false;
    }
    out = e;
    return true;
  }

 private:
  std::vector<Skipped>& skipped_;
  std::size_t more_ = 0;
};

std::optional<inspect::ChlorideUnit> unit_from(const std::string& s) {
  for (auto u : {inspect::ChlorideUnit::KgPerCubicMetre, inspect::ChlorideUnit::PercentOfConcrete,
                 inspect::ChlorideUnit::PercentOfBinder}) {
    if (s == unit_key(u)) return u;
  }
  return std::nullopt;
}

std::optional<inspect::Background> background_from(const std::string& s) {
  for (auto b :
       {inspect::Background::Zero, inspect::Background::Given, inspect::Background::Fitted}) {
    if (s == background_key(b)) return b;
  }
  return std::nullopt;
}

std::string member_where(std::size_t i, const std::string& name) {
  return "members[" + std::to_string(i) + "] " + name;
}

// A number within [lo, hi], or null (none); anything else is named and gives none.
std::optional<double> read_within(Reader& r, const Json& j, std::string_view key,
                                  const std::string& where, double lo, double hi) {
  const auto it = j.find(key);
  if (it == j.end() || it->is_null()) return std::nullopt;
  if (it->is_number()) {
    const double v = it->get<double>();
    if (std::isfinite(v) && lo <= v && v <= hi) return v;
  }
  r.skip(where + "/" + std::string(key),
         "不是 " + text::num(lo) + " 至 " + text::num(hi) + " 之间的数，已跳过。",
         "not a number from " + text::num(lo) + " to " + text::num(hi) + ", skipped");
  return std::nullopt;
}

std::optional<MeasuredRecord> read_measured(Reader& r, const Json& j, std::string_view key,
                                            const std::string& where) {
  const auto it = j.find(key);
  if (it == j.end() || it->is_null()) return std::nullopt;
  const std::string at = where + "/" + std::string(key);
  if (!it->is_object()) {
    r.skip(at, "测量值记录类型不符，已跳过。", "the measurement is not an object, skipped");
    return std::nullopt;
  }
  r.unknown_keys(*it, at, {"value", "sd"});
  const auto value = read_within(r, *it, "value", at, 0, inspect::kMaxAtInspectionMm);
  const auto sd = read_within(r, *it, "sd", at, inspect::kErrorSdLow, inspect::kErrorSdHigh);
  if (!value || !sd) {
    r.skip(at, "测量值或其标准差缺失或无意义，此测量已跳过。",
           "the value or its deviation is missing or meaningless, the measurement is skipped");
    return std::nullopt;
  }
  return MeasuredRecord{*value, *sd};
}

// The last outcome of an update, whole or not at all: a part that is missing or has no
// meaning (a probability beyond 0 and 1, more effective samples than draws) skips it, named.
std::optional<UpdateOutcome> read_outcome(Reader& r, const Json& j, const std::string& at) {
  r.unknown_keys(j, at,
                 {"samples", "seed", "targetAge", "method", "draws", "effective", "paretoK",
                  "passed", "p", "se", "beta"});
  UpdateOutcome o;
  bool ok = Reader::take(j.value("samples", Json()), o.samples) &&
            Reader::take(j.value("seed", Json()), o.seed) &&
            Reader::take(j.value("targetAge", Json()), o.targetAge) &&
            Reader::take(j.value("method", Json()), o.method) &&
            Reader::take(j.value("draws", Json()), o.draws) &&
            Reader::take(j.value("effective", Json()), o.effective) &&
            Reader::take(j.value("passed", Json()), o.passed) &&
            Reader::take(j.value("paretoK", Json()), o.paretoK);
  auto numbers3 = [&](const Json& v, std::array<double, 3>& out) {
    std::vector<double> x;
    if (!Reader::take(v, x) || x.size() != 3) return false;
    for (std::size_t k = 0; k < 3; ++k) {
      if (!(x[k] >= 0 && x[k] <= 1)) return false;  // probabilities and their errors
      out[k] = x[k];
    }
    return true;
  };
  auto texts3 = [&](const Json& v, std::array<std::string, 3>& out) {
    if (!v.is_array() || v.size() != 3) return false;
    for (std::size_t k = 0; k < 3; ++k) {
      if (!v[k].is_string() ||
          character_count(v[k].get_ref<const std::string&>()) > kMaxBetaChars) {
        return false;
      }
      out[k] = v[k].get<std::string>();
    }
    return true;
  };
  const Json p = j.value("p", Json());
  const Json b = j.value("beta", Json());
  ok = ok && p.is_object() && b.is_object() && numbers3(p.value("prior", Json()), o.priorP) &&
       numbers3(p.value("posterior", Json()), o.posteriorP) &&
       numbers3(j.value("se", Json()), o.posteriorSe) &&
       texts3(b.value("prior", Json()), o.priorBeta) &&
       texts3(b.value("posterior", Json()), o.posteriorBeta);
  ok = ok && o.samples >= 1 && o.draws >= 1 && std::isfinite(o.targetAge) && o.targetAge > 0 &&
       std::isfinite(o.effective) && o.effective >= 0 &&
       o.effective <= static_cast<double>(o.draws) && (!o.paretoK || std::isfinite(*o.paretoK)) &&
       std::find(std::begin(kUpdateMethods), std::end(kUpdateMethods), o.method) !=
           std::end(kUpdateMethods);
  if (!ok) {
    r.skip(at, "上次更新的结果记录缺失部分或无意义，已跳过。",
           "the last update's result is incomplete or meaningless, skipped");
    return std::nullopt;
  }
  return o;
}

// ---- One table of keys per record ----------------------------------------------------------
// A record the file holds is written and read through one table: each key appears once, beside
// how its value is written and read, and the keys the reader knows are the table's. A new key
// is one entry in its record's table.

// A text's or a list's largest length (most 0: none); beyond it the whole file is refused.
struct Limit {
  std::size_t most = 0;
  std::string_view what;         // Chinese
  std::string_view whatEnglish;  // the same for the console
};

// What a key with a choice of written values says of a value it does not know.
struct ChoiceSaid {
  std::string_view what, fallback;                // Chinese
  std::string_view whatEnglish, fallbackEnglish;  // the same for the console
};

template <class R>
struct Key {
  std::string_view name;
  Json (*write)(const R&) = nullptr;
  void (*read)(Reader&, const Json&, const Key&, const std::string& at, R&) = nullptr;
  bool optional = false;  // a missing key keeps the default silently
  Limit limit{};
  ChoiceSaid said{};
};

template <class R, std::size_t N>
using Keys = std::array<Key<R>, N>;

template <class R, std::size_t N>
Json write_keys(const Keys<R, N>& keys, const R& record) {
  Json j = Json::object();
  for (const auto& k : keys) j[std::string(k.name)] = k.write(record);
  return j;
}

// Every key of the table read into `record` (a key missing or of the wrong kind keeps the
// default and is named); a key the table does not know is named as skipped.
template <class R, std::size_t N>
void read_keys(const Keys<R, N>& keys, Reader& r, const Json& j, const std::string& at, R& record) {
  std::vector<std::string_view> known;
  for (const auto& k : keys) known.push_back(k.name);
  r.unknown_keys(j, at, known);
  for (const auto& k : keys) k.read(r, j, k, at, record);
}

// How a value of each kind is written: a number that is not finite as null.
template <class T>
Json written(const T& v) {
  return Json(v);
}
Json written(double v) {
  return number(v);
}
Json written(const std::vector<double>& v) {
  return numbers(v);
}
Json written(const std::optional<double>& v) {
  return optional_number(v);
}
Json written(const std::vector<assess::LimitState>& v) {
  return limit_states(v);
}

template <class T>
void check_limit(Reader& r, const T& v, const Limit& l, const std::string& at) {
  if (l.most == 0) return;
  if constexpr (std::is_same_v<T, std::string>) {
    r.within(v, l.most, at, l.what, l.whatEnglish);
  } else if constexpr (requires { v.size(); }) {
    r.within(v.size(), l.most, at, l.what, l.whatEnglish);
  }
}

template <class M>
struct MemberOf;
template <class R, class T>
struct MemberOf<T R::*> {
  using Record = R;
};

// A key whose value is the record's member `Member`, read by Reader::read.
template <auto Member>
constexpr auto field(std::string_view name, bool optional = false, Limit limit = {}) {
  using R = typename MemberOf<decltype(Member)>::Record;
  return Key<R>{name, [](const R& record) { return written(record.*Member); },
                [](Reader& r, const Json& j, const Key<R>& k, const std::string& at, R& record) {
                  r.read(j, k.name, at, record.*Member, k.optional);
                  check_limit(r, record.*Member, k.limit, at + "/" + std::string(k.name));
                },
                optional, limit};
}

// The same for the member `Member` of the record's part `Part`.
template <auto Part, auto Member>
constexpr auto part_field(std::string_view name, bool optional = false, Limit limit = {}) {
  using R = typename MemberOf<decltype(Part)>::Record;
  return Key<R>{name, [](const R& record) { return written((record.*Part).*Member); },
                [](Reader& r, const Json& j, const Key<R>& k, const std::string& at, R& record) {
                  r.read(j, k.name, at, (record.*Part).*Member, k.optional);
                  check_limit(r, (record.*Part).*Member, k.limit, at + "/" + std::string(k.name));
                },
                optional, limit};
}

constexpr Limit kNameLimit{kMaxNameChars, "结构说明的此项",
                           "this entry of the structure's description"};

const Keys<Structure, 7> kStructureKeys = {
    field<&Structure::name>("name", false, kNameLimit),
    field<&Structure::structure>("structure", false, kNameLimit),
    field<&Structure::location>("location", false, kNameLimit),
    field<&Structure::owner>("owner", false, kNameLimit),
    field<&Structure::engineer>("engineer", false, kNameLimit),
    field<&Structure::date>("date", false, kNameLimit),
    field<&Structure::notes>("notes", false, {kMaxNotesChars, "说明", "the notes"}),
};

const Keys<assess::Settings, 2> kThresholdKeys = {
    field<&assess::Settings::thresholdA>("a"),
    field<&assess::Settings::thresholdB>("b"),
};

const Keys<assess::Settings, 5> kAssessmentKeys = {
    field<&assess::Settings::assessmentAge>("assessmentAge"),
    field<&assess::Settings::targetLife>("targetLife"),
    field<&assess::Settings::gamma>("gamma"),
    Key<assess::Settings>{
        "thresholds", [](const assess::Settings& a) { return write_keys(kThresholdKeys, a); },
        [](Reader& r, const Json& j, const Key<assess::Settings>& k, const std::string& at,
           assess::Settings& a) {
          const std::string here = at + "/" + std::string(k.name);
          if (const auto t = j.find(k.name); t != j.end() && t->is_object()) {
            read_keys(kThresholdKeys, r, *t, here, a);
          } else {
            r.skip(here, "缺少等级界限，取默认值 1.8 与 1.0。",
                   "the grade thresholds are missing; the defaults 1.8 and 1.0 are used");
          }
        }},
    field<&assess::Settings::limitStates>("limitStates"),
};

const Keys<ReliabilitySettings, 3> kReliabilityKeys = {
    field<&ReliabilitySettings::samples>("samples"),
    field<&ReliabilitySettings::seed>("seed"),
    field<&ReliabilitySettings::targetBeta>("targetBeta"),
};

const Keys<inspect::CarbonationInput, 2> kCarbonationKeys = {
    field<&inspect::CarbonationInput::ageYears>("ageYears"),
    field<&inspect::CarbonationInput::depthMm>(
        "depthMm", false, {kMaxReadings, "碳化深度读数", "carbonation depths"}),
};

const Keys<inspect::CoverInput, 2> kCoverKeys = {
    field<&inspect::CoverInput::readingsMm>("readingsMm", false,
                                            {kMaxReadings, "保护层厚度读数", "cover readings"}),
    field<&inspect::CoverInput::designCoverMm>("designCoverMm", true),
};

// A fit as the file keeps it, whole or not at all.
std::optional<FitRecord> read_fit(Reader& r, const Json& fj, const std::string& at) {
  FitRecord f;
  r.unknown_keys(fj, at,
                 {"surface", "diffusionMm2PerYear", "background", "rSquared", "pointsUsed"});
  bool ok = Reader::take(fj.value("surface", Json()), f.surface) &&
            Reader::take(fj.value("diffusionMm2PerYear", Json()), f.diffusion) &&
            Reader::take(fj.value("rSquared", Json()), f.rSquared) &&
            Reader::take(fj.value("pointsUsed", Json()), f.pointsUsed);
  if (const auto b = fj.find("background"); ok && b != fj.end() && !b->is_null()) {
    inspect::Estimate e;
    ok = Reader::take(*b, e);
    f.background = e;
  }
  if (!ok) return std::nullopt;
  return f;
}

Json fit_json(const FitRecord& f) {
  Json j;
  j["surface"] = estimate(f.surface);
  j["diffusionMm2PerYear"] = estimate(f.diffusion);
  j["background"] = f.background ? estimate(*f.background) : Json(nullptr);
  j["rSquared"] = number(f.rSquared);
  j["pointsUsed"] = f.pointsUsed;
  return j;
}

// A choice of a profile's input written by its key: an unknown key is named and the default
// kept, as `said` describes it.
template <auto Member, auto ToKey, auto FromKey>
Key<ProfileRecord> choice(std::string_view name, ChoiceSaid said) {
  return {name,
          [](const ProfileRecord& p) { return Json(std::string(ToKey(p.input.*Member))); },
          [](Reader& r, const Json& j, const Key<ProfileRecord>& k, const std::string& at,
             ProfileRecord& p) {
            std::string text(ToKey(p.input.*Member));
            r.read(j, k.name, at, text);
            if (auto v = FromKey(text)) {
              p.input.*Member = *v;
            } else {
              r.skip(at + "/" + std::string(k.name),
                     "未知的" + std::string(k.said.what) + " '" + clipped(text) + "'，按 " +
                         std::string(k.said.fallback) + "。",
                     "unknown " + std::string(k.said.whatEnglish) + " '" + clipped(text) +
                         "', taken as " + std::string(k.said.fallbackEnglish));
            }
          },
          false,
          {},
          said};
}

const Keys<ProfileRecord, 12> kProfileKeys = {
    field<&ProfileRecord::name>("name", false, {kMaxNameChars, "芯样名称", "the core's name"}),
    choice<&inspect::ProfileInput::unit, unit_key, unit_from>(
        "unit", {"含量单位", "kg/m^3", "content unit", "kg/m3"}),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::densityKgM3>("densityKgM3"),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::binderKgM3>("binderKgM3"),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::ageYears>("ageYears"),
    choice<&inspect::ProfileInput::background, background_key, background_from>(
        "background", {"背景含量方式", "0", "background mode", "zero"}),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::backgroundValue>("backgroundValue"),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::leaveOutFirstLayer>(
        "leaveOutFirstLayer"),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::minimumPoints>("minimumPoints"),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::depthMm>(
        "depthMm", false, {kMaxReadings, "深度读数", "depths"}),
    part_field<&ProfileRecord::input, &inspect::ProfileInput::chloride>(
        "chloride", false, {kMaxReadings, "含量读数", "chloride contents"}),
    Key<ProfileRecord>{
        "fit", [](const ProfileRecord& p) { return p.fit ? fit_json(*p.fit) : Json(nullptr); },
        [](Reader& r, const Json& j, const Key<ProfileRecord>& k, const std::string& at,
           ProfileRecord& p) {
          const auto it = j.find(k.name);
          if (it == j.end() || it->is_null()) return;
          const std::string here = at + "/" + std::string(k.name);
          if (!it->is_object()) {
            r.skip(here, "拟合结果类型不符，已跳过。",
                   "the fit is not of the expected kind, skipped");
          } else if (auto f = read_fit(r, *it, here)) {
            p.fit = *f;
          } else {
            r.skip(here, "拟合结果不完整，已跳过（数据仍在，可重新拟合）。",
                   "the fit is incomplete, skipped (the data are kept and can be fitted again)");
          }
        }},
};

// An error setting of an update: a number within [lo, hi], or null.
template <std::optional<double> UpdateRecord::*Member, double Lo, double Hi>
constexpr Key<UpdateRecord> error_setting(std::string_view name) {
  return {name, [](const UpdateRecord& u) { return optional_number(u.*Member); },
          [](Reader& r, const Json& j, const Key<UpdateRecord>& k, const std::string& at,
             UpdateRecord& u) { u.*Member = read_within(r, j, k.name, at, Lo, Hi); }};
}

// A measurement at inspection an update may use, or null.
template <std::optional<MeasuredRecord> UpdateRecord::*Member>
constexpr Key<UpdateRecord> measurement(std::string_view name) {
  return {name, [](const UpdateRecord& u) { return measured_json(u.*Member); },
          [](Reader& r, const Json& j, const Key<UpdateRecord>& k, const std::string& at,
             UpdateRecord& u) { u.*Member = read_measured(r, j, k.name, at); }};
}

const Keys<UpdateRecord, 6> kUpdateKeys = {
    error_setting<&UpdateRecord::depthCov, inspect::kErrorCovLow, inspect::kErrorCovHigh>(
        "depthCov"),
    error_setting<&UpdateRecord::profileSd, inspect::kErrorSdLow, inspect::kErrorSdHigh>(
        "profileSd"),
    measurement<&UpdateRecord::corrosionDepth>("corrosionDepth"),
    measurement<&UpdateRecord::crackWidth>("crackWidth"),
    Key<UpdateRecord>{"typedDepths",
                      [](const UpdateRecord& u) {
                        return u.typedDepths ? carbonation_json(*u.typedDepths) : Json(nullptr);
                      },
                      [](Reader& r, const Json& j, const Key<UpdateRecord>& k,
                         const std::string& at, UpdateRecord& u) {
                        const auto it = j.find(k.name);
                        if (it == j.end() || it->is_null()) return;
                        const std::string here = at + "/" + std::string(k.name);
                        if (it->is_object()) {
                          inspect::CarbonationInput in;
                          read_keys(kCarbonationKeys, r, *it, here, in);
                          u.typedDepths = in;
                        } else {
                          r.skip(here, "输入的碳化深度读数记录类型不符，已跳过。",
                                 "the typed carbonation depths are not an object, skipped");
                        }
                      }},
    Key<UpdateRecord>{"last", [](const UpdateRecord& u) { return last_update_json(u.last); },
                      [](Reader& r, const Json& j, const Key<UpdateRecord>& k,
                         const std::string& at, UpdateRecord& u) {
                        const auto it = j.find(k.name);
                        if (it == j.end() || it->is_null()) return;
                        const std::string here = at + "/" + std::string(k.name);
                        if (it->is_object()) {
                          u.last = read_outcome(r, *it, here);
                        } else {
                          r.skip(here, "上次更新的结果记录类型不符，已跳过。",
                                 "the last update's result is not an object, skipped");
                        }
                      }},
};

Json profile_json(const ProfileRecord& r) {
  return write_keys(kProfileKeys, r);
}
Json update_json(const UpdateRecord& u) {
  return write_keys(kUpdateKeys, u);
}
Json carbonation_json(const inspect::CarbonationInput& c) {
  return write_keys(kCarbonationKeys, c);
}
Json cover_json(const inspect::CoverInput& c) {
  return write_keys(kCoverKeys, c);
}
Json structure_json(const Structure& s) {
  return write_keys(kStructureKeys, s);
}
Json assessment_json(const assess::Settings& a) {
  return write_keys(kAssessmentKeys, a);
}
Json reliability_json(const ReliabilitySettings& r) {
  return write_keys(kReliabilityKeys, r);
}

ProfileRecord read_profile(Reader& r, const Json& j, const std::string& where) {
  ProfileRecord p;
  read_keys(kProfileKeys, r, j, where, p);
  return p;
}

UpdateRecord read_update(Reader& r, const Json& j, const std::string& at) {
  UpdateRecord u;
  read_keys(kUpdateKeys, r, j, at, u);
  return u;
}

std::optional<Member> read_member(Reader& r, const Json& j, std::size_t index) {
  std::string where = "members[" + std::to_string(index) + "]";
  if (!j.is_object()) {
    r.skip(where, "成员记录类型不符，已跳过。", "the member is not an object, skipped");
    return std::nullopt;
  }
  Member m;
  r.read(j, "name", where, m.name);
  if (!r.within(m.name, kMaxNameChars, where + "/name", "构件名称", "the member name")) {
    return std::nullopt;
  }
  where = member_where(index, m.name);
  r.unknown_keys(j, where,
                 {"name", "sheet", "boxes", "steel", "options", "limitStates", "scatter",
                  "inspection", "update"});
  r.read(j, "sheet", where, m.sheet);
  if (module_of(m) == nullptr) {
    r.skip(where, "未知的表格 '" + clipped(m.sheet) + "'，整个成员已跳过。",
           "unknown sheet '" + clipped(m.sheet) + "', the whole member is skipped");
    return std::nullopt;
  }
  const sheet::SheetTable& table = module_of(m)->table();
  if (const auto it = j.find("boxes"); it != j.end()) {
    if (!it->is_object()) {
      r.skip(where + "/boxes", "输入框记录类型不符，已跳过。",
             "the boxes are not an object, skipped");
    } else {
      for (const auto& [key, value] : it->items()) {
        const std::string at = where + "/boxes/" + key;
        const auto c = sheet::control_from_name(key);
        if (!c || table.field(*c) == nullptr) {
          r.skip(at, "表格上没有此输入框，已跳过。", "the sheet has no such box, skipped");
        } else if (!value.is_string()) {
          r.skip(at, "输入框的内容不是文本，已跳过。", "the box's text is not a string, skipped");
        } else if (r.within(value.get_ref<const std::string&>(), kMaxBoxTextChars, at,
                            "输入框的文本", "the box's text")) {
          m.boxes[*c] = value.get<std::string>();
        }
      }
    }
  } else {
    r.skip(where + "/boxes", "缺少输入框记录。", "the boxes are missing");
  }
  r.read(j, "steel", where, m.steel);
  r.within(m.steel, kMaxBoxTextChars, where + "/steel", "钢筋种类的文本", "the steel's text");
  if (const auto it = j.find("options"); it != j.end()) {
    bool ok = it->is_array();
    if (ok) {
      for (std::size_t k = 0; k < it->size(); ++k) {
        const Json& o = (*it)[k];
        const auto c =
            o.is_string() ? sheet::control_from_name(o.get<std::string>()) : std::nullopt;
        if (!c || sheet::group_of(table, *c) == nullptr) {
          // Named by its text, or (a value of another kind) by its place in the list.
          r.skip(where + "/options/" +
                     (o.is_string() ? clipped(o.get_ref<const std::string&>())
                                    : "[" + std::to_string(k) + "]"),
                 "表格上没有此选项，已跳过。", "the sheet has no such option, skipped");
        } else {
          m.options.push_back(*c);
        }
      }
    } else {
      r.skip(where + "/options", "选项记录类型不符，已跳过。",
             "the options are not a list, skipped");
    }
  }
  if (const auto it = j.find("limitStates"); it != j.end() && !it->is_null()) {
    std::vector<assess::LimitState> states;
    if (Reader::take(*it, states)) {
      m.limitStates = states;
      // Kept as written (saving gives it back), but the member cannot be graded on it.
      std::sort(states.begin(), states.end());
      if (const auto twice = std::adjacent_find(states.begin(), states.end());
          twice != states.end() || states.empty()) {
        const std::string which =
            twice != states.end() ? std::string(assess::limit_state_key(*twice)) : std::string();
        r.conflict(where + "/limitStates",
                   twice != states.end()
                       ? "极限状态 " + which + " 出现了两次；此构件无法评定，请改正其极限状态。"
                       : "未选择任何极限状态；此构件无法评定，请改正其极限状态。",
                   twice != states.end()
                       ? "the limit state " + which +
                             " is given twice; the member cannot be graded until it is mended"
                       : "no limit state is chosen; the member cannot be graded until it is "
                         "mended");
      }
    } else {
      r.skip(where + "/limitStates", "极限状态记录无法识别，按项目设置。",
             "the limit states cannot be read; the project's are used");
    }
  }
  if (const auto it = j.find("scatter"); it != j.end()) {
    if (!it->is_object()) {
      r.skip(where + "/scatter", "离散性记录类型不符，已跳过。",
             "the scatter is not an object, skipped");
    } else {
      for (const auto& [key, value] : it->items()) {
        const std::string at = where + "/scatter/" + key;
        const auto c = sheet::control_from_name(key);
        double cov = 0;
        const auto law = value.is_object() && value.contains("law") && value["law"].is_string()
                             ? mc::distribution_from_name(value["law"].get<std::string>())
                             : std::nullopt;
        if (!c || table.field(*c) == nullptr || !value.is_object() ||
            !Reader::take(value.value("cov", Json()), cov) || !law) {
          r.skip(at, "离散性记录无法识别，已跳过。", "the scatter entry cannot be read, skipped");
        } else {
          m.scatter[*c] = {cov, *law};
        }
      }
    }
  }
  if (const auto it = j.find("inspection"); it != j.end() && it->is_object()) {
    const Json& ins = *it;
    const std::string at = where + "/inspection";
    r.unknown_keys(ins, at, {"profiles", "carbonation", "cover"});
    if (const auto p = ins.find("profiles"); p != ins.end()) {
      if (p->is_array()) {
        const std::size_t n =
            r.within(p->size(), kMaxReadings, at + "/profiles", "剖面", "profiles") ? p->size() : 0;
        for (std::size_t k = 0; k < n; ++k) {
          const std::string pat = at + "/profiles[" + std::to_string(k) + "]";
          if ((*p)[k].is_object()) {
            m.inspection.profiles.push_back(read_profile(r, (*p)[k], pat));
          } else {
            r.skip(pat, "剖面记录类型不符，已跳过。", "the profile is not an object, skipped");
          }
        }
      } else {
        r.skip(at + "/profiles", "剖面记录类型不符，已跳过。",
               "the profiles are not a list, skipped");
      }
    }
    if (const auto c = ins.find("carbonation"); c != ins.end() && !c->is_null()) {
      if (c->is_object()) {
        inspect::CarbonationInput in;
        read_keys(kCarbonationKeys, r, *c, at + "/carbonation", in);
        m.inspection.carbonation = in;
      } else {
        r.skip(at + "/carbonation", "碳化读数记录类型不符，已跳过。",
               "the carbonation readings are not an object, skipped");
      }
    }
    if (const auto c = ins.find("cover"); c != ins.end() && !c->is_null()) {
      if (c->is_object()) {
        inspect::CoverInput in;
        read_keys(kCoverKeys, r, *c, at + "/cover", in);
        m.inspection.cover = in;
      } else {
        r.skip(at + "/cover", "保护层读数记录类型不符，已跳过。",
               "the cover readings are not an object, skipped");
      }
    }
  } else if (it != j.end()) {
    r.skip(where + "/inspection", "检测数据记录类型不符，已跳过。",
           "the inspection data are not an object, skipped");
  }
  if (const auto it = j.find("update"); it != j.end() && !it->is_null()) {
    if (it->is_object()) {
      m.update = read_update(r, *it, where + "/update");
    } else {
      r.skip(where + "/update", "更新设置记录类型不符，已跳过。",
             "the update settings are not an object, skipped");
    }
  }
  return m;
}

}  // namespace

FitRecord record_of(const inspect::ProfileFit& fit) {
  return {fit.surface, fit.diffusion, fit.background, fit.rSquared, fit.pointsUsed};
}

const sheet::Module* module_of(const Member& m) {
  if (m.sheet.empty()) return nullptr;
  const sheet::Module* module = modules::find_module(m.sheet);
  // Only the console name counts: a sheet number would change its meaning with the menu.
  return module != nullptr && module->table().cliName == m.sheet ? module : nullptr;
}

std::vector<batch::Entry> member_entries(const Member& m) {
  std::vector<batch::Entry> out;
  for (const auto& [c, text] : m.boxes) {
    // A box still at the text the sheet opens with is left as it is, as a user leaves it.
    if (text != sheet::kDefaultBoxText) out.push_back({c, text});
  }
  if (!m.steel.empty()) out.push_back({sheet::Control::Combo1, m.steel});
  for (auto c : m.options) out.push_back({c, "1"});
  return out;
}

Member member_from_view(std::string name, const sheet::Module& module,
                        const sheet::SheetView& view) {
  Member m;
  m.name = std::move(name);
  m.sheet = module.table().cliName;
  for (const auto& f : module.table().fields) m.boxes[f.control] = view.text(f.control);
  m.steel = view.text(sheet::Control::Combo1);
  for (const auto& g : module.table().groups) {
    for (const auto& o : g.options) {
      if (view.isSelected(o.control)) m.options.push_back(o.control);
    }
  }
  return m;
}

MemberTable member_table(const sheet::SheetTable& table,
                         const std::vector<const Member*>& members) {
  MemberTable t;
  t.header.emplace_back("member");
  for (const auto& f : table.fields) t.header.emplace_back(sheet::control_name(f.control));
  t.header.emplace_back(sheet::control_name(sheet::Control::Combo1));
  for (const auto& g : table.groups) t.header.emplace_back(g.caption);
  for (const Member* m : members) {
    std::vector<std::string> row;
    row.push_back(m->name);
    for (const auto& f : table.fields) {
      const auto it = m->boxes.find(f.control);
      const bool left = it == m->boxes.end() || it->second == sheet::kDefaultBoxText;
      row.push_back(left ? std::string() : it->second);
    }
    row.push_back(m->steel);
    for (const auto& g : table.groups) {
      std::string chosen;
      for (const auto& o : g.options) {
        if (std::find(m->options.begin(), m->options.end(), o.control) != m->options.end()) {
          chosen = std::string(o.caption);
        }
      }
      row.push_back(std::move(chosen));
    }
    t.rows.push_back(std::move(row));
  }
  return t;
}

Outcome<std::vector<Member>, TableRefusal> members_from_table(
    const sheet::SheetTable& table, const std::vector<std::vector<std::string>>& rows) {
  using Refused = Refusal<TableRefusal>;
  std::vector<Member> out;
  const std::size_t steelColumn = 1 + table.fields.size();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const auto& row = rows[r];
    auto cell = [&](std::size_t k) {
      return k < row.size() ? sheet::trim_blanks_and_tabs(row[k]) : std::string();
    };
    const bool empty = std::all_of(row.begin(), row.end(), [](const std::string& c) {
      return sheet::trim_blanks_and_tabs(c).empty();
    });
    if (empty) continue;
    const std::string line = std::to_string(r + 1);
    Member m;
    m.name = cell(0);
    m.sheet = table.cliName;
    if (m.name.empty()) {
      return Refused{TableRefusal::NoName, "第 " + line + " 行没有构件名称。",
                     "row " + line + " has no member name"};
    }
    if (const std::size_t n = character_count(m.name); n > kMaxNameChars) {
      return Refused{TableRefusal::TooLong,
                     "第 " + line + " 行的构件名称有 " + std::to_string(n) + " 个字符，超过上限 " +
                         std::to_string(kMaxNameChars) + " 个字符。",
                     "row " + line + ": the member name has " + std::to_string(n) +
                         " characters, more than the " + std::to_string(kMaxNameChars) +
                         " allowed"};
    }
    for (std::size_t k = 1; k < row.size(); ++k) {
      if (const std::size_t n = character_count(row[k]); n > kMaxBoxTextChars) {
        return Refused{TableRefusal::TooLong,
                       "第 " + line + " 行第 " + std::to_string(k + 1) + " 列的文本有 " +
                           std::to_string(n) + " 个字符，超过上限 " +
                           std::to_string(kMaxBoxTextChars) + " 个字符。",
                       "row " + line + ", column " + std::to_string(k + 1) + ": a text of " +
                           std::to_string(n) + " characters, more than the " +
                           std::to_string(kMaxBoxTextChars) + " allowed"};
      }
    }
    if (std::any_of(out.begin(), out.end(), [&](const Member& o) { return o.name == m.name; })) {
      return Refused{TableRefusal::NameTwice,
                     "构件名称“" + m.name + "”出现了两次（第 " + line + " 行）。",
                     "the member name '" + m.name + "' is given twice (row " + line + ")"};
    }
    for (std::size_t k = 0; k < table.fields.size(); ++k) {
      // A box's text exactly as typed; an empty cell leaves the box as the sheet opens it.
      const std::string text = 1 + k < row.size() ? row[1 + k] : std::string();
      m.boxes[table.fields[k].control] =
          sheet::trim_blanks_and_tabs(text).empty() ? std::string(sheet::kDefaultBoxText) : text;
    }
    if (const std::string steel = cell(steelColumn); !steel.empty()) {
      const auto item = sheet::steel_item(steel);
      if (!item) {
        return Refused{TableRefusal::UnknownSteel,
                       "第 " + line + " 行的钢筋种类“" + steel + "”不是列表中的一项。",
                       "row " + line + ": the steel '" + steel + "' is no item of the list"};
      }
      m.steel = std::string(*item);
    }
    for (std::size_t g = 0; g < table.groups.size(); ++g) {
      const auto& group = table.groups[g];
      const std::string text = cell(steelColumn + 1 + g);
      const sheet::OptionRow* o =
          text.empty() ? &group.options[0] : sheet::option_named(group, text);
      if (o == nullptr) {
        return Refused{
            TableRefusal::UnknownOption,
            "第 " + line + " 行的“" + std::string(group.caption) + "”“" + text +
                "”不是其中的选项。",
            "row " + line + ": '" + text + "' is no option of " + std::string(group.name)};
      }
      m.options.push_back(o->control);
    }
    out.push_back(std::move(m));
  }
  return out;
}

std::string project_bytes(const Project& p) {
  Json j;
  j["format"] = std::string(kFormat);
  j["schemaVersion"] = kSchemaVersion;
  j["structure"] = structure_json(p.structure);
  j["assessment"] = assessment_json(p.assessment);
  j["reliability"] = reliability_json(p.reliability);
  Json members = Json::array();
  for (const auto& m : p.members) members.push_back(member_json(m));
  j["members"] = std::move(members);
  try {
    return j.dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
  } catch (const Json::type_error& e) {
    throw std::invalid_argument(std::string("a text of the project is not valid UTF-8: ") +
                                e.what());
  }
}

std::vector<Skipped> repeated_names(const std::vector<Member>& members,
                                    const std::vector<std::size_t>* indices) {
  std::vector<Skipped> out;
  std::unordered_map<std::string_view, std::size_t> first;
  std::size_t more = 0;
  for (std::size_t k = 0; k < members.size(); ++k) {
    const std::size_t at = indices != nullptr ? (*indices)[k] : k;
    const auto [it, fresh] = first.emplace(members[k].name, at);
    if (fresh) continue;
    if (out.size() >= kMaxSkippedNamed) {
      ++more;
      continue;
    }
    const std::string other = "members[" + std::to_string(it->second) + "]";
    out.push_back({member_where(at, members[k].name),
                   "构件名称“" + members[k].name + "”已用于 " + other +
                       "；评估与报告按名称区分构件，请改用不同的名称。",
                   "the member name '" + members[k].name + "' is already the name of " + other +
                       "; the assessment and the report tell members by their names"});
  }
  if (more > 0) {
    out.push_back({"…", "另有 " + std::to_string(more) + " 个重名的构件，未逐一列出。",
                   std::to_string(more) + " more members share a name, not named one by one"});
  }
  return out;
}

Outcome<OpenReport, OpenRefusal> parse_project(std::string_view bytes) {
  if (bytes.size() > kMaxProjectBytes) {
    return Refused{OpenRefusal::BeyondLimits,
                   "文件有 " + std::to_string(bytes.size()) + " 字节，超过工程文件的上限 " +
                       std::to_string(kMaxProjectBytes >> 20) + " MiB。",
                   "the file has " + std::to_string(bytes.size()) + " bytes, more than the " +
                       std::to_string(kMaxProjectBytes >> 20) + " MiB a project file may hold"};
  }
  // The members are read (and checked on their sheets) one at a time as the parser reaches
  // them; what they skip is named after the rest of the file.
  std::vector<Skipped> memberSkipped;
  Reader members(memberSkipped);
  std::vector<Member> read;
  std::vector<std::size_t> indices;  // of the members read, in the file's list
  JsonBounds bounds;
  bounds.streamedLength = kMaxMembers;
  const StreamedList list{"members", [&](Json&& element, std::size_t i) {
                            auto m = read_member(members, element, i);
                            if (members.fatal) return false;
                            if (m) {
                              for (auto& s : check_member(*m, member_where(i, m->name))) {
                                members.skip(s.where, std::move(s.text), std::move(s.message));
                              }
                              read.push_back(std::move(*m));
                              indices.push_back(i);
                            }
                            return true;
                          }};
  JsonReading reading = read_json(bytes, bounds, list);
  if (members.fatal) return *members.fatal;
  if (reading.fault) {
    const JsonFault& f = *reading.fault;
    const OpenRefusal kind =
        f.kind == JsonFault::Kind::Bound ? OpenRefusal::BeyondLimits : OpenRefusal::Damaged;
    if (f.kind == JsonFault::Kind::Text) {
      return Refused{kind, "文件已损坏，无法读取：" + f.text,
                     "the file is damaged and cannot be read: " + f.message};
    }
    return Refused{kind, "无法读取：" + f.text, "cannot be read: " + f.message};
  }
  const Json& j = reading.document;
  const auto format = j.is_object() ? j.find("format") : j.end();
  if (!j.is_object() || format == j.end() || !format->is_string() ||
      format->get_ref<const std::string&>() != kFormat) {
    return Refused{
        OpenRefusal::NotAProject,
        std::string("这不是本程序的工程文件（") +
            (j.is_object() ? "/format 不是 \"pellucor-project\"" : "不是 JSON 对象") + "）。",
        std::string("this is not a project file of this program (") +
            (j.is_object() ? "/format is not \"pellucor-project\"" : "not a JSON object") + ")"};
  }
  const auto version = j.find("schemaVersion");
  if (version == j.end() || !version->is_number_unsigned() ||
      version->get<std::uint64_t>() > 1000000) {
    return Refused{OpenRefusal::NoVersion,
                   "工程文件缺少有效的格式版本号（/schemaVersion），无法读取。",
                   "the project file has no valid schema version (/schemaVersion) and cannot be "
                   "read"};
  }
  OpenReport report;
  report.fileVersion = static_cast<int>(version->get<std::uint64_t>());
  report.newerVersion = report.fileVersion > kSchemaVersion;
  Reader r(report.skipped);
  if (report.newerVersion) {
    r.skip("schemaVersion",
           "此文件由较新版本（格式 " + std::to_string(report.fileVersion) +
               "）写入，本程序读至格式 " + std::to_string(kSchemaVersion) +
               "；不认识的部分已跳过。",
           "written by a newer version (schema " + std::to_string(report.fileVersion) +
               "); this program reads up to schema " + std::to_string(kSchemaVersion) +
               "; what it does not know is skipped");
  }
  r.unknown_keys(j, "",
                 {"format", "schemaVersion", "structure", "assessment", "reliability", "members"});
  Project& p = report.project;
  if (const auto it = j.find("structure"); it != j.end() && it->is_object()) {
    read_keys(kStructureKeys, r, *it, "/structure", p.structure);
  } else {
    r.skip("/structure", "缺少结构说明。", "the description of the structure is missing");
  }
  if (r.fatal) return *r.fatal;
  if (const auto it = j.find("assessment"); it != j.end() && it->is_object()) {
    read_keys(kAssessmentKeys, r, *it, "/assessment", p.assessment);
    // Without an age of assessment the target life must at least lie above 0.
    assess::Settings check = p.assessment;
    if (!check.assessmentAge) check.assessmentAge = 0;
    if (const auto bad = assess::check_settings(check)) {
      r.skip("/assessment", bad->text + " 评估设置恢复为默认值。",
             bad->message + "; the assessment settings are reset to their defaults");
      p.assessment = assess::Settings{};
    }
  } else {
    r.skip("/assessment", "缺少评估设置，取默认值。",
           "the assessment settings are missing; the defaults are used");
  }
  if (const auto it = j.find("reliability"); it != j.end() && it->is_object()) {
    read_keys(kReliabilityKeys, r, *it, "/reliability", p.reliability);
    if (const auto bad = check_reliability_settings(p.reliability)) {
      r.skip("/reliability", bad->text + " 可靠度设置恢复为默认值。",
             bad->message + "; the reliability settings are reset to their defaults");
      p.reliability = ReliabilitySettings{};
    }
  } else {
    r.skip("/reliability", "缺少可靠度设置，取默认值。",
           "the reliability settings are missing; the defaults are used");
  }
  const auto list_at = j.find("members");
  if (list_at == j.end() || !list_at->is_array()) {
    r.skip("/members", "缺少成员列表。", "the list of members is missing");
  }
  p.members = std::move(read);
  for (auto& s : memberSkipped) r.skip(s.where, std::move(s.text), std::move(s.message));
  const std::size_t more = r.more() + members.more();
  if (more > 0) {
    report.skipped.push_back({"…", "另有 " + std::to_string(more) + " 处未能读入，未逐一列出。",
                              std::to_string(more) + " more parts were skipped, not named one by "
                                                     "one"});
  }
  report.repeatedNames = repeated_names(p.members, &indices);
  report.conflicts = std::move(members.conflicts);
  return report;
}

Outcome<OpenReport, OpenRefusal> open_project(const std::string& path) {
  // A pipe, a device or a folder is no project: opening one could wait for ever or read
  // without end. The size is known before anything is read.
  const platform::OpenedFile file = platform::open_plain_file(path);
  if (!file.plain) {
    return Refused{OpenRefusal::Unreadable,
                   "这不是普通文件（可能是文件夹、管道或设备），无法作为工程读取。",
                   "cannot read: not a regular file (a folder, a pipe or a device)"};
  }
  if (file.fd < 0) {
    const std::string why = std::strerror(file.error);
    return Refused{OpenRefusal::Unreadable, "无法读取文件（" + why + "）。", "cannot read: " + why};
  }
  const int fd = file.fd;
  if (file.size > kMaxProjectBytes) {
    platform::close_file(fd);
    return Refused{OpenRefusal::BeyondLimits,
                   "文件有 " + std::to_string(file.size) + " 字节，超过工程文件的上限 " +
                       std::to_string(kMaxProjectBytes >> 20) + " MiB。",
                   "the file has " + std::to_string(file.size) + " bytes, more than the " +
                       std::to_string(kMaxProjectBytes >> 20) + " MiB a project file may hold"};
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(file.size));
  char buf[65536];
  int interruptions = 0;
  for (;;) {
    const std::ptrdiff_t n = platform::read_some(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR && ++interruptions < 100) continue;
    if (n < 0) {
      const std::string why = std::strerror(errno);
      platform::close_file(fd);
      return Refused{OpenRefusal::Unreadable, "无法读取文件（" + why + "）。",
                     "cannot read: " + why};
    }
    if (n == 0) break;
    // A file that grows while it is read is read one byte past the limit and no further.
    bytes.append(buf, std::min(static_cast<std::size_t>(n), kMaxProjectBytes + 1 - bytes.size()));
    if (bytes.size() > kMaxProjectBytes) break;
  }
  platform::close_file(fd);
  return parse_project(bytes);
}

std::optional<Refusal<OpenRefusal>> check_limits(const Project& p) {
  std::vector<Skipped> none;
  Reader r(none);
  const Structure& st = p.structure;
  const std::pair<const char*, const std::string*> fields[] = {
      {"name", &st.name},   {"structure", &st.structure}, {"location", &st.location},
      {"owner", &st.owner}, {"engineer", &st.engineer},   {"date", &st.date}};
  for (const auto& [key, text] : fields) {
    r.within(*text, kMaxNameChars, std::string("/structure/") + key, "结构说明的此项",
             "this entry of the structure's description");
  }
  r.within(st.notes, kMaxNotesChars, "/structure/notes", "说明", "the notes");
  r.within(p.members.size(), kMaxMembers, "/members", "构件", "members");
  for (std::size_t i = 0; i < p.members.size() && !r.fatal; ++i) {
    const Member& m = p.members[i];
    const std::string where = "members[" + std::to_string(i) + "]";
    if (!r.within(m.name, kMaxNameChars, where + "/name", "构件名称", "the member name")) break;
    const std::string at = member_where(i, m.name);
    for (const auto& [c, text] : m.boxes) {
      r.within(text, kMaxBoxTextChars, at + "/boxes/" + std::string(sheet::control_name(c)),
               "输入框的文本", "the box's text");
    }
    r.within(m.steel, kMaxBoxTextChars, at + "/steel", "钢筋种类的文本", "the steel's text");
    const Inspection& in = m.inspection;
    r.within(in.profiles.size(), kMaxReadings, at + "/inspection/profiles", "剖面", "profiles");
    for (std::size_t k = 0; k < in.profiles.size(); ++k) {
      const std::string pat = at + "/inspection/profiles[" + std::to_string(k) + "]";
      r.within(in.profiles[k].name, kMaxNameChars, pat + "/name", "芯样名称", "the core's name");
      r.within(in.profiles[k].input.depthMm.size(), kMaxReadings, pat + "/depthMm", "深度读数",
               "depths");
      r.within(in.profiles[k].input.chloride.size(), kMaxReadings, pat + "/chloride", "含量读数",
               "chloride contents");
    }
    if (in.carbonation) {
      r.within(in.carbonation->depthMm.size(), kMaxReadings, at + "/inspection/carbonation/depthMm",
               "碳化深度读数", "carbonation depths");
    }
    if (in.cover) {
      r.within(in.cover->readingsMm.size(), kMaxReadings, at + "/inspection/cover/readingsMm",
               "保护层厚度读数", "cover readings");
    }
  }
  return r.fatal;
}

std::optional<Refusal<assess::AssessRefusal>> check_reliability_settings(
    const ReliabilitySettings& s) {
  using assess::AssessRefusal;
  if (s.samples < 1 || s.samples > mc::kMaxSamples) {
    return Refusal<AssessRefusal>{
        AssessRefusal::BadReliability,
        "可靠度分析的样本数须在 1 至 " + std::to_string(mc::kMaxSamples) + " 之间。",
        "the samples of the reliability runs must lie between 1 and " +
            std::to_string(mc::kMaxSamples)};
  }
  if (!(s.targetBeta >= 0 && s.targetBeta <= kMaxTargetBeta)) {
    return Refusal<AssessRefusal>{AssessRefusal::BadReliability,
                                  "目标可靠指标 β 须在 0 至 " +
                                      assess::assessment_digits(kMaxTargetBeta) +
                                      " 之间（更高的目标，最多的样本也无法表明其已满足）。",
                                  "the target reliability index must lie between 0 and " +
                                      assess::assessment_digits(kMaxTargetBeta) +
                                      " (no run draws enough samples to show a higher target met)"};
  }
  return std::nullopt;
}

void save_project(const std::string& path, const Project& p) {
  if (const auto beyond = check_limits(p)) {
    throw SaveError(beyond->message + "; nothing was saved",
                    beyond->text + " 未保存，原文件未改动。");
  }
  std::string bytes;
  try {
    bytes = project_bytes(p);
  } catch (const std::invalid_argument& e) {
    throw SaveError(e.what(), "工程中有文本不是有效的 UTF-8 编码，未保存，原文件未改动。");
  }
  save_file_keeping_backup(path, bytes);
}

std::vector<Skipped> check_member(const Member& m, std::string_view where) {
  std::vector<Skipped> out;
  const sheet::Module* module = module_of(m);
  if (module == nullptr) {
    out.push_back({std::string(where), "未知的表格 '" + m.sheet + "'。",
                   "unknown sheet '" + m.sheet + "'", "构件“" + m.name + "”"});
    return out;
  }
  const sheet::SheetTable& table = module->table();
  // The member is typed into a sheet held in memory as a user would type it; every message
  // that comes up names a text the sheet does not take.
  class Listening : public batch::MemoryView {
   public:
    using MemoryView::MemoryView;
    void showMessage(std::string_view text, std::string_view) override {
      messages.push_back({concern, std::string(text)});
    }
    sheet::Control concern = sheet::Control::None;
    std::vector<std::pair<sheet::Control, std::string>> messages;
  };
  Listening view(table);
  sheet::SheetController controller(*module);
  controller.open(view);
  std::vector<sheet::Control> disabled;
  batch::Typist::Options options;
  options.emptyLeavesBox = true;
  options.skippedDisabled = [&](sheet::Control c) { disabled.push_back(c); };
  options.concern = [&](sheet::Control c) { view.concern = c; };
  options.stopped = [] { return false; };
  batch::Typist typist(controller, view, options);
  std::vector<batch::Entry> entries = member_entries(m);
  // A text that is not wholly a number is named and not typed.
  std::vector<batch::Entry> notNumbers;
  while (const batch::Entry* e = batch::first_not_a_number(table, entries)) {
    notNumbers.push_back(*e);
    entries.erase(entries.begin() + (e - entries.data()));
  }
  typist.type(entries);
  // The last box's leave check; messages about boxes the member leaves as they are (the check
  // of a box still at its opening text, left on the way) are not about the member's texts.
  typist.moveFocus(sheet::Control::CmdCal);
  std::erase_if(view.messages, [&](const auto& msg) {
    return std::none_of(entries.begin(), entries.end(),
                        [&](const batch::Entry& e) { return e.control == msg.first; });
  });
  auto label = [&](sheet::Control c) {
    if (const auto* f = table.field(c)) return std::string(f->label);
    return std::string(sheet::control_name(c));
  };
  auto text_of = [&](sheet::Control c) {
    if (c == sheet::Control::Combo1) return m.steel;
    const auto it = m.boxes.find(c);
    return it == m.boxes.end() ? std::string() : it->second;
  };
  const std::string shown = "构件“" + m.name + "”";
  for (const batch::Entry& e : notNumbers) {
    const std::string name(sheet::control_name(e.control));
    out.push_back({std::string(where) + "/" + name,
                   "“" + label(e.control) + "”的文本 '" + e.text + "' 不是数。",
                   "the text '" + e.text + "' of " + name + " is not a number", shown});
  }
  for (const auto& [c, message] : view.messages) {
    const std::string name(sheet::control_name(c));
    out.push_back(
        {std::string(where) + "/" + name,
         "表格不接受“" + label(c) + "”的文本 '" + text_of(c) + "'：" + message,
         "the sheet does not take the text '" + text_of(c) + "' of " + name + ": " + message,
         shown});
  }
  for (auto c : disabled) {
    const std::string name(sheet::control_name(c));
    out.push_back(
        {std::string(where) + "/" + name,
         "“" + label(c) + "”被另一输入禁用，其文本 '" + text_of(c) + "' 不会输入。",
         name + " is disabled by another input; its text '" + text_of(c) + "' is not typed",
         shown});
  }
  return out;
}

}  // namespace pellucor::analysis::project
