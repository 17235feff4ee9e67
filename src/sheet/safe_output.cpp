#include "sheet/safe_output.hpp"

namespace pellucor::sheet {

std::string output_failure_message(std::string_view path, const WriteFailure& failure) {
  return save_failure_message(path, failure);
}

}  // namespace pellucor::sheet
