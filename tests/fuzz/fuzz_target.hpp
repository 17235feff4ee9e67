// What a fuzz target of a reader of user files holds to: whatever the bytes, the reader returns
// (a result or a refusal with its reason), throws nothing, never crashes, and what it accepts
// behaves as a result of the program should. A broken promise ends the run at once (abort), so
// that the fuzzer keeps the input and the replay of the corpus fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace pellucor::fuzzing {

[[noreturn]] inline void broken(const char* promise) {
  std::fprintf(stderr, "fuzz: broken promise: %s\n", promise);
  std::abort();
}

inline void hold(bool kept, const char* promise) {
  if (!kept) broken(promise);
}

}  // namespace pellucor::fuzzing
