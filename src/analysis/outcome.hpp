// What an analysis gives back when it may refuse (a fit of inspection data, an assessment, a
// design, a project file's settings): its result, or the reason why it gives no number, in
// Chinese for the desktop and in English for the console. A refused analysis never carries a
// number.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace pellucor::analysis {

template <class Kind>
struct Refusal {
  Kind kind{};
  std::string text;     // Chinese, shown by the desktop program
  std::string message;  // English, printed by the console front end
};

template <class T, class Kind>
class Outcome {
 public:
  Outcome(T value) : v_(std::move(value)) {}                  // NOLINT: implicit on purpose
  Outcome(Refusal<Kind> refusal) : v_(std::move(refusal)) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The result; throws std::bad_variant_access for a refused analysis.
  const T& value() const { return std::get<0>(v_); }
  const T* operator->() const { return &value(); }
  const T& operator*() const { return value(); }
  // Why there is no result; throws std::bad_variant_access for one that has a result.
  const Refusal<Kind>& refusal() const { return std::get<1>(v_); }

 private:
  std::variant<T, Refusal<Kind>> v_;
};

}  // namespace pellucor::analysis
