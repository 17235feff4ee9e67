// The assessment of a structure as a table and as lines of text, shared by the console, the
// desktop's member table and the printed report: per member its sheet, governing limit state,
// remaining life, margin and grade (and β at the target life with the grade read from it
// where a reliability run was made); the members counted by grade with the worst of them.
//
// A limit state already passed at the age of assessment is written as passed, with the age at
// which it was reached, never as a negative remaining life or margin.
#pragma once

#include <string>
#include <vector>

#include "analysis/structure/structure.hpp"

namespace pellucor::analysis::assess {

// The sheet's short name: its menu caption without the access key ("碳化").
std::string sheet_short_name(const sheet::SheetTable& table);

// Engineers' digits: a remaining life to 0.1 a, a margin to 0.01.
std::string life_text(double years);
std::string margin_text(double margin);

// The cells of a member's governing limit state: remaining life and margin ("已超过" when
// passed, the remaining-life cell then saying when).
std::string remaining_cell(const MemberAssessment& a);
std::string margin_cell(const MemberAssessment& a);

struct AssessmentTable {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;  // one per member, in the project's order
  std::vector<bool> textColumns;               // never numbers
  std::vector<bool> notAssessed;               // per row
};

// With β columns when the assessment ran reliability analyses.
AssessmentTable assessment_table(const StructureAssessment& s);

// The summary by grade, Chinese: counts of a, b, c and not assessed, the grades read from β
// where runs were made, and the worst members with their governing limit state.
std::vector<std::string> grade_summary_lines(const StructureAssessment& s);
// The same in English for the console.
std::vector<std::string> grade_summary_english(const StructureAssessment& s);

}  // namespace pellucor::analysis::assess
