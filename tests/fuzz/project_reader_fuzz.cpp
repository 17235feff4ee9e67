// The project reader under arbitrary bytes: a project or a refusal with a message, never an
// exception; what it accepts is within the project's limits and saves and reads back to the
// same bytes.
#include <exception>
#include <string>
#include <string_view>

#include "analysis/project/project.hpp"
#include "fuzz_target.hpp"

using namespace pellucor::analysis::project;
using pellucor::fuzzing::hold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const auto opened = parse_project(bytes);
    if (!opened) {
      hold(!opened.refusal().text.empty() && !opened.refusal().message.empty(),
           "a refusal says why");
      return 0;
    }
    const Project& p = opened->project;
    hold(!check_limits(p).has_value(), "a project read is within the limits");
    for (const auto& s : opened->skipped) hold(!s.text.empty(), "a skipped part says why");
    // Save, read, save: the same bytes, and nothing skipped the second time but what the
    // member's sheet refuses (its texts are kept as typed).
    const std::string saved = project_bytes(p);
    const auto again = parse_project(saved);
    hold(again.ok(), "a saved project reads back");
    hold(project_bytes(again->project) == saved, "save, read, save gives the same bytes");
    hold(again->project.members.size() == p.members.size(), "every member reads back");
  } catch (const std::exception& e) {
    pellucor::fuzzing::broken(e.what());
  }
  return 0;
}
