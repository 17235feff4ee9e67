// A project: one structure and its members, each with the texts of its sheet, its inspection
// data and fits, the reliability settings and the assessment settings, kept in one file.
//
// The file is UTF-8 JSON:
//
//   { "format": "pellucor-project", "schemaVersion": 1,
//     "structure":   { "name", "structure", "location", "owner", "engineer", "date", "notes" },
//     "assessment":  { "assessmentAge": null | a, "targetLife", "gamma",
//                      "thresholds": { "a", "b" }, "limitStates": ["ti", "tc", "td"] },
//     "reliability": { "samples", "seed", "targetBeta" },
//     "members": [ { "name", "sheet", "boxes": { "Text1": "1.5", ... }, "steel": "2 变形钢筋",
//                    "options": ["Option1", ...], "limitStates": null | [...],
//                    "scatter": { "Text5": { "cov", "law" }, ... },
//                    "inspection": { "profiles": [...], "carbonation": null | {...},
//                                    "cover": null | {...} },
//                    "update": {...} (only for a member whose analysis was updated) }, ... ] }
//
// A member's "update" holds what its update with the measurements was given beyond them and
// what it gave last: { "depthCov": null | CoV, "profileSd": null | kg/m³,
// "corrosionDepth": null | { "value", "sd" }, "crackWidth": null | { "value", "sd" },
// "last": null | { "samples", "seed", "targetAge", "method", "draws", "effective", "paretoK",
// "passed", "p": { "prior": [3], "posterior": [3] }, "se": [3],
// "beta": { "prior": [3 texts], "posterior": [3 texts] } } }.
//
// Why this layout: the format name and the schema version come first, so that a reader knows
// what it holds and whether it can read it before it reads anything else; the sections follow
// the program's own data (structure, settings, members), so that an engineer can read a
// project in any text editor and a version-control diff shows what changed; a box's text is
// kept as a string under the sheet's name for the box, exactly as typed (blanks, odd digits
// and all), never as a number that would lose how it was typed; members are an array so that
// their order is the member table's; keys are written in a fixed order with two-space
// indentation and numbers in their shortest exact form, so that saving a project that has not
// changed gives the same bytes.
//
// Reading never fails silently: a damaged file or one that is not a project is refused with a
// message that names the place (a line and column, or the path of the value), and every part
// that cannot be read (a member of an unknown sheet, a box the sheet does not have, a value of
// the wrong kind, anything a newer version wrote) is skipped and named in the report; a member
// whose texts the sheet would refuse is kept as it was typed and named too.
//
// Reading is bounded before anything is built: the file's size, the nesting, every text and
// list (see the limits below; a real structure never meets them, and the program never writes
// a file beyond them). The members are read one at a time, so that the reader holds one
// member's JSON at once, never the whole document's.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/assess/settings.hpp"
#include "analysis/batch/case_runner.hpp"
#include "analysis/inspect/chloride_profile.hpp"
#include "analysis/inspect/surveys.hpp"
#include "analysis/mc/uncertainty.hpp"
#include "analysis/outcome.hpp"
#include "sheet/sheet_table.hpp"
#include "sheet/view.hpp"

namespace pellucor::analysis::project {

inline constexpr std::string_view kFormat = "pellucor-project";
inline constexpr int kSchemaVersion = 1;
inline constexpr std::string_view kExtension = ".pellucor";

// What a project file may hold. Counts of characters are of UTF-8 characters.
inline constexpr std::size_t kMaxProjectBytes = std::size_t{256} << 20;  // the file
inline constexpr std::size_t kMaxMembers = 1'000'000;
inline constexpr std::size_t kMaxNameChars = 200;       // a member, a core, the structure's fields
inline constexpr std::size_t kMaxNotesChars = 100'000;  // the structure's notes
inline constexpr std::size_t kMaxBoxTextChars = 1000;   // a box's text, the steel list's text
inline constexpr std::size_t kMaxReadings = 10'000;  // readings of one kind, profiles of a member

struct Structure {
  std::string name;       // the project
  std::string structure;  // the structure assessed
  std::string location;
  std::string owner;
  std::string engineer;
  std::string date;  // as typed
  std::string notes;

  bool operator==(const Structure&) const = default;
};

// The last fit of a chloride profile, as it was computed.
struct FitRecord {
  inspect::Estimate surface;    // kg/m³
  inspect::Estimate diffusion;  // mm²/a
  std::optional<inspect::Estimate> background;
  double rSquared = 0;
  int pointsUsed = 0;

  bool operator==(const FitRecord&) const = default;
};

FitRecord record_of(const inspect::ProfileFit& fit);

struct ProfileRecord {
  std::string name;  // the core
  inspect::ProfileInput input;
  std::optional<FitRecord> fit;

  bool operator==(const ProfileRecord&) const = default;
};

struct Inspection {
  std::vector<ProfileRecord> profiles;
  std::optional<inspect::CarbonationInput> carbonation;
  std::optional<inspect::CoverInput> cover;

  bool operator==(const Inspection&) const = default;
};

// A value measured at the inspection age with the deviation of its error (mm).
struct MeasuredRecord {
  double value = 0;
  double sd = 0;

  bool operator==(const MeasuredRecord&) const = default;
};

// What the last update of a member's reliability analysis gave, as it was shown: the run, the
// sampler and its diagnostics, P(t <= target age) and beta of t_i, t_c, t_d prior and
// posterior (beta as written, a bound "> 4.107" included).
struct UpdateOutcome {
  std::uint64_t samples = 0;
  std::uint64_t seed = 0;
  double targetAge = 0;
  std::string method;  // "prior", "weighting" or "tempered"
  std::uint64_t draws = 0;
  double effective = 0;
  std::optional<double> paretoK;
  bool passed = false;
  std::array<double, 3> priorP{};
  std::array<double, 3> posteriorP{};
  std::array<double, 3> posteriorSe{};
  std::array<std::string, 3> priorBeta;
  std::array<std::string, 3> posteriorBeta;

  bool operator==(const UpdateOutcome&) const = default;
};

// The update of a member's reliability analysis with its measurements: the errors typed for
// them (none: estimated, from the readings' scatter or the fits' residuals), the corrosion
// depth and crack width measured at the inspection age, and the last result.
struct UpdateRecord {
  std::optional<double> depthCov;
  std::optional<double> profileSd;  // kg/m³
  std::optional<MeasuredRecord> corrosionDepth;
  std::optional<MeasuredRecord> crackWidth;
  // Carbonation depths typed for the update (beside the member's inspection readings), with the
  // age they were read at.
  std::optional<inspect::CarbonationInput> typedDepths;
  std::optional<UpdateOutcome> last;

  bool operator==(const UpdateRecord&) const = default;
};

// The methods an outcome names.
inline constexpr std::string_view kUpdateMethods[] = {"prior", "weighting", "tempered"};
// The most characters of a beta as written.
inline constexpr std::size_t kMaxBetaChars = 40;

struct BoxScatter {
  double cov = 0;
  mc::Distribution law = mc::Distribution::Normal;

  bool operator==(const BoxScatter&) const = default;
};

struct Member {
  std::string name;
  std::string sheet;                            // the sheet's console name ("carbonation")
  std::map<sheet::Control, std::string> boxes;  // each box's text, exactly as typed
  std::string steel;                            // the steel list's text (empty: none chosen)
  std::vector<sheet::Control> options;          // the selected option buttons
  std::optional<std::vector<assess::LimitState>> limitStates;  // none: the project's
  std::map<sheet::Control, BoxScatter> scatter;                // of the reliability analysis
  Inspection inspection;
  std::optional<UpdateRecord> update;

  bool operator==(const Member&) const = default;
};

struct ReliabilitySettings {
  std::uint64_t samples = 10000;
  std::uint64_t seed = 1;
  double targetBeta = 1.3;

  bool operator==(const ReliabilitySettings&) const = default;
};

struct Project {
  Structure structure;
  assess::Settings assessment;
  ReliabilitySettings reliability;
  std::vector<Member> members;

  bool operator==(const Project&) const = default;
};

// The sheet of a member; nullptr for a sheet this program does not know.
const sheet::Module* module_of(const Member& m);

// The entries a member's texts stand for, for the case runner: every box's text (but one still
// at the sheet's opening text "0.000", which a user leaves as it is), the steel list's text
// when one was chosen, each selected option.
std::vector<batch::Entry> member_entries(const Member& m);

// A member as a sheet's window holds it: every box's text, the steel list, the options.
Member member_from_view(std::string name, const sheet::Module& module,
                        const sheet::SheetView& view);

// Members of one sheet as the rows of a member table: the columns "member", every box of the
// sheet by its control name, "Combo1" and each option group by its caption; a cell is empty
// where the member leaves its box as the sheet opens it (see member_entries), an option
// group's cell names the option chosen.
struct MemberTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};
MemberTable member_table(const sheet::SheetTable& table, const std::vector<const Member*>& members);

// The rows of a member table (cells in the columns member_table() writes) as members of its
// sheet, the inverse of member_table(): an empty box cell leaves the box at the text the sheet
// opens with; the steel cell takes 1, 2, 3, an item or a steel name; an option group's cell an
// option's caption, alias or place (empty: the group's first option, as the sheet opens). A
// row left wholly empty is no member. Refused, naming the row (from 1), for a row without a
// name, a name given twice, a steel or an option the sheet does not have, a name or a text
// longer than a project holds (kMaxNameChars, kMaxBoxTextChars).
enum class TableRefusal { NoName, NameTwice, UnknownSteel, UnknownOption, TooLong };
Outcome<std::vector<Member>, TableRefusal> members_from_table(
    const sheet::SheetTable& table, const std::vector<std::vector<std::string>>& rows);

// The project as the file holds it (UTF-8, LF line ends, a line end at the end). Throws
// std::invalid_argument when a text is not valid UTF-8 (nothing is written then).
std::string project_bytes(const Project& p);

// Something the reader could not take over, or that a sheet would not accept.
struct Skipped {
  std::string where;    // e.g. "members[3] 梁 B3 / boxes / Text19"
  std::string text;     // Chinese
  std::string message;  // English
  // The place in the user's words where the program knows them ("构件“梁 B3”"); empty: `where`
  // is all there is to say.
  std::string shown = {};
};

struct OpenReport {
  Project project;
  int fileVersion = 0;
  bool newerVersion = false;  // written by a newer version of the program
  std::vector<Skipped> skipped;
  // Read and kept as written, but no assessment can take them: a member's limit state given
  // twice (that member cannot be graded) ...
  std::vector<Skipped> conflicts;
  // ... and a member name given twice (the grades, the report and a member table tell members
  // by their names: the project cannot be graded). Each later member of a name is named.
  std::vector<Skipped> repeatedNames;

  // Saving over the file would not write what was skipped: the program asks first.
  bool lossy() const { return newerVersion || !skipped.empty(); }
};

// The most skipped parts a report names one by one; the rest are counted in one last entry.
inline constexpr std::size_t kMaxSkippedNamed = 1000;

// Each member whose name an earlier member already has, named ("members[3] 梁 B1"; the place
// in the file's list when `indices` gives it for each member).
std::vector<Skipped> repeated_names(const std::vector<Member>& members,
                                    const std::vector<std::size_t>* indices = nullptr);

enum class OpenRefusal {
  Unreadable,    // the file cannot be read (or is no regular file: a pipe, a folder, a device)
  Damaged,       // not JSON (cut off, edited by hand, not UTF-8, a key given twice)
  NotAProject,   // JSON, but not a project of this program
  NoVersion,     // the schema version is missing or not a whole number
  BeyondLimits,  // a file, a text, a list or a nesting beyond what a project may hold
};

Outcome<OpenReport, OpenRefusal> parse_project(std::string_view bytes);
Outcome<OpenReport, OpenRefusal> open_project(const std::string& path);

// Writes the project to `path` atomically, the previous file kept as its backup (see
// save_file.hpp). Throws SaveError; the file at `path` is then as it was. A project beyond the
// limits above (a name too long) is not written: the program never writes a file it refuses.
void save_project(const std::string& path, const Project& p);

// The first text or list of `p` beyond the limits above, named; none when all are within.
std::optional<Refusal<OpenRefusal>> check_limits(const Project& p);

// The reliability settings of a project checked on their own: samples from 1 to the most a
// run draws, a target index from 0 to 5.2 (one failure in the most samples a run draws: a
// higher target is never shown to be met).
inline constexpr double kMaxTargetBeta = 5.2;
std::optional<Refusal<assess::AssessRefusal>> check_reliability_settings(
    const ReliabilitySettings& s);

// What the member's sheet would not take when the member is typed into it: a box or option
// the sheet does not have, a box's text that is not wholly a number (never read by the sheet's
// prefix rule: "4O" is no 4), a text its checks refuse (with the sheet's own message), a box
// disabled by another input. Empty for a member the sheet takes whole. Each names the member
// and the box by their names in `shown`.
std::vector<Skipped> check_member(const Member& m, std::string_view where);

}  // namespace pellucor::analysis::project
