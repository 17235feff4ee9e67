// The results of the inspection analyses as files, the same from the console and the desktop:
// CSV (UTF-8, CR LF; a table of the quantities, then, after an empty line, a table of the
// points or readings) or JSON (UTF-8, every quantity, the points, the notes in English and
// Chinese, and what goes to the sheet). Numbers in their shortest exact form.
#pragma once

#include <string>

#include "analysis/inspect/chloride_profile.hpp"
#include "analysis/inspect/surveys.hpp"

namespace pellucor::analysis::inspect {

std::string profile_csv(const ProfileFit& fit);
std::string profile_json(const ProfileInput& in, const ProfileFit& fit);

std::string carbonation_csv(const CarbonationSurvey& survey);
std::string carbonation_json(const CarbonationInput& in, const CarbonationSurvey& survey);

std::string cover_csv(const CoverSurvey& survey);
// `sheet`: the sheet whose cover box the mean goes to (its range checked), or null for any
// (the box has the same alias on every sheet; no range is checked then).
std::string cover_json(const CoverInput& in, const CoverSurvey& survey,
                       const sheet::SheetTable* sheet);

// The transfer as the console types it: the assignments of its boxes by their aliases
// ("age=10 diffusion=0.4513 surface=3.52"), and the options that give its scatter to a
// reliability analysis ("--cov diffusion=0.071 --dist diffusion=lognormal ...").
std::string transfer_assignments(const SheetTransfer& t, const sheet::SheetTable& table);
std::string transfer_scatter_options(const SheetTransfer& t, const sheet::SheetTable& table);

// The shortest text that reads back as the same double.
std::string shortest(double v);

}  // namespace pellucor::analysis::inspect
