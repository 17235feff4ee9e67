// Asking the system for large pages under a large buffer: only a request, the contents and
// the results are the same with or without it.
#pragma once

#include <cstddef>

namespace pellucor::platform {

// Asks for huge pages over the whole 2 MiB pages inside [p, p + bytes); nothing below 4 MiB.
// Where the system has no such request for memory already allocated (Windows), nothing.
void advise_huge_pages(void* p, std::size_t bytes);

}  // namespace pellucor::platform
