// The curves of a completed calculation: the corrosion depth and crack width against age, the
// carbonation front, the chloride profiles and the chloride at the bar, computed with the model's
// own formulas and error-function routines so that they pass through the values the sheet
// reports. Toolkit-free; the chart window, the PDF report and the console's CSV draw them.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/timeline.hpp"
#include "model/model_run.hpp"

namespace pellucor::analysis::curves {

struct Point {
  double x = 0;
  double y = 0;
};

struct Series {
  std::string name;  // legend text
  std::vector<Point> points;
};

// What a marked point stands for.
enum class Mark {
  Initiation,        // t_i: corrosion begins
  Cracking,          // t_c, δcr: the cover cracks
  EndOfDurability,   // t_d: the durable life ends
  Inspection,        // t: the inspection age
  CriticalAtCover,   // the chloride at the bar reaches C_cr (or the carbonation front reaches
                     // the depth at which corrosion begins)
  StableSurface,     // the surface chloride reaches its stable value
  CriticalCrossing,  // marine sheet: the age at which the chloride at the bar actually reaches
                     // C_cr (the sheet's search stops within 0.5 kg/m3 of it)
};

struct Marker {
  Mark mark = Mark::Inspection;
  std::string label;
  int series = 0;  // index of the series it lies on
  Point at;
};

// A straight reference line across the chart.
struct Guide {
  enum class Orientation { Horizontal, Vertical };
  Orientation orientation = Orientation::Horizontal;
  double value = 0;
  std::string label;
};

// The phases of the time course, shaded on every chart against age.
enum class Phase { Initiation, BeforeCracking, AfterCracking, PastEndOfDurability };

struct Band {
  Phase phase = Phase::Initiation;
  double from = 0;
  double to = 0;
  std::string label;
};

enum class ChartKind { Depth, Width, Carbonation, Profile, BarConcentration, Surface };

struct Chart {
  ChartKind kind = ChartKind::Depth;
  std::string title;  // tab title
  std::string xName, xUnit, yName, yUnit;
  std::vector<Series> series;
  std::vector<Marker> markers;
  std::vector<Guide> guides;
  std::vector<Band> bands;  // charts against age only
  std::vector<std::string> notes;
};

// What a reader must know before the results: the marine sheet's half-year search against the
// age at which the chloride at the bar really reaches C_cr, where the two lie more than a
// search step apart (and the cracking and end of durability that follow from the crossing).
struct MustRead {
  std::string text;   // Chinese, whole
  std::string brief;  // Chinese, on one line beside the sheet's result
};

struct Curves {
  std::vector<Chart> charts;
  std::vector<std::string> notes;  // notes on the whole calculation
  std::vector<MustRead> mustRead;  // also in the notes of their chart

  const Chart* find(ChartKind kind) const;
};

// Points of every series on the age grid (besides the marked ages, which are added exactly).
// The end of the durable life by the name it has in every output beyond the sheet's pane: the
// assessment's name of the limit state (the curves lie below the assessment, which draws its
// design charts with them; a test holds the two names equal).
inline constexpr std::string_view kEndOfLifeName = "耐久性终结";

inline constexpr int kAgeIntervals = 240;
// Points of a chloride profile between the surface and twice the cover (besides the cover).
inline constexpr int kDepthIntervals = 120;
// The age axis runs this far beyond the last of t_c, t_d and the inspection age.
inline constexpr double kAgeMargin = 1.2;

// The curves of a run; none for an empty run or one that stopped. Points that are not finite
// are never part of a series.
std::optional<Curves> curves(const model::ModelRun& run);

// What a reader of the run's results must know first (see MustRead), without the curves.
std::vector<MustRead> must_read(const model::ModelRun& run);

// The propagation inputs exactly as the run's model handed them to the propagation steps
// (lengths in millimetres, converted as the model converts them); none as for `curves`.
// The same as timeline(run)->in.
std::optional<model::PropagationInput> propagation_input(const model::ModelRun& run);

// Corrosion depth at age `tau` with the formulas of the inspection depth, but zero before
// initiation (the physical curve; the reported inspection depth keeps its sign).
double corrosion_depth(const model::PropagationInput& in, const model::Propagation& p, double tau);

// Crack width formula of the steel kind for a corrosion depth (kinds 1 and 2; none for kind 3).
std::optional<double> crack_width(const model::PropagationInput& in, double depth);

// Chloride concentration (kg/m3) at depth `x` (m) and age `tau` (a) as the sheet's model sees
// its ingress, with the model's own formula and error-function routine; empty for sheets
// without ingress and for runs that stopped. The same as chloride_ingress(run)->concentration.
using analysis::Ingress;
Ingress ingress(const model::ModelRun& run);

// Writes every series as CSV, UTF-8: for each series a pair of columns (its abscissa and its
// values), headed by the chart, the series and the quantity with its unit; shorter series
// leave their cells empty.
void write_csv(const Curves& curves, std::ostream& out);

}  // namespace pellucor::analysis::curves
