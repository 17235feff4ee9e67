// Marine-atmosphere chloride: the surface concentration grows as k sqrt(t) until the stable
// time; the initiation time comes from a half-year step search (and a second one after the
// stable time), then the cracking-time iteration with the coarse error function.
#pragma once

#include <optional>

#include "model/chloride_constant.hpp"

namespace pellucor::model {

inline constexpr int kMaxSearchRounds = 10000;

// The error function of the initiation-time searches: the coarse routine, cut off above the
// argument 2.36, where it takes 1.
double marine_search_erf(double u);

// Inputs in the units typed; the model converts them as read.
struct MarineInput {
  double Ke = 0;
  double T = 0;
  double RH = 0;
  double fcu = 0;
  double coverMm = 0;
  double t = 0;
  double Dcm2 = 0;  // diffusion coefficient, cm2/a (0: derive it)
  double Cs = 0;    // stable surface concentration
  double Ccr = 0;
  double xMm = 0;
  double Cx = 0;
  double wc = 0;
  double tcStart = 0;  // assumed cracking time, a
  double dMm = 0;
  double k = 0;        // accumulation coefficient, kg/m3 per a^0.5
  double ts = 0;       // stable time, a
  double tiStart = 0;  // assumed initiation time, a
  double T2Start = 0;  // assumed T2, a
  SteelKind kind{};
  DiffusionSource source = DiffusionSource::MeasuredProfile;
};

struct MarineResult : ProfileResult {
  double zx = 0;             // profile argument at the measuring depth
  int searchRounds = 0;      // rounds of the first search
  std::optional<double> T2;  // second search result, when it ran
  std::optional<double> C1;  // concentration at the bar at the stable time
  int secondSearchRounds = 0;
};

MarineResult run_marine(const MarineInput& in, IterationObserver<MarineResult>* observer = nullptr);

}  // namespace pellucor::model
