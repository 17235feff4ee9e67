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

// run_marine in two parts, for a caller that takes the initiation time from elsewhere than the
// searches. First the steps ahead of the searches: lengths converted, both profile arguments,
// the diffusion coefficient (typed or derived) and the erosion coefficient; `stop` is set when
// one of them cannot be computed.
MarineResult marine_coefficients(const MarineInput& in);
// Then the rest of run_marine from the initiation time `ti` (a): the cracking-time iteration
// with its propagation steps, into `r`, which holds the coefficients. run_marine is
// marine_coefficients, the searches and this with the searches' t_i; with that t_i the
// results are the same bits. The search fields of `r` (rounds, T2, C1) are left as they are.
void run_marine_from(const MarineInput& in, double ti, MarineResult& r,
                     IterationObserver<MarineResult>* observer = nullptr);

// The chloride profile of the initiation-time searches, with their error function
// (marine_search_erf) and their approximation of pi, at depth x (m), coefficient D (m2/a) and
// age tau (a):
//   term = exp(-x^2 / (4 D tau)) - sqrt(3.14159) u (1 - erf(u)),  u = x / (2 sqrt(D tau)).
double marine_profile_term(double x, double D, double tau);
// While the surface chloride grows as k sqrt(t): k sqrt(tau) term (the first search).
double marine_growing_concentration(double k, double x, double D, double tau);
// After the stable time ts: C1 + (C_s - C1)(1 - erf(x / (2 sqrt(D t2)))), t2 years after ts,
// with C1 = C_s term(ts) the chloride there at ts (the second search).
double marine_stable_concentration(double C1, double Cs, double x, double D, double t2);

// The chloride (kg/m3) at depth x (m) and age tau (a) as the searches see it: growing with the
// surface up to the stable time, then with the surface at its stable value; 0 before any time
// has passed. D is the coefficient the model used (MarineResult::D).
double marine_concentration(const MarineInput& in, double D, double x, double tau);
// The same at the bar (the cover) of a run: the concentration the searches compare with C_cr.
// The searches stop within 0.5 kg/m3 of C_cr, on a half-year grid; this function gives the
// concentration at any age, e.g. to find where it really reaches C_cr.
double marine_bar_concentration(const MarineInput& in, const MarineResult& r, double tau);

}  // namespace pellucor::model
