#include "analysis/mc/large_buffer.hpp"

#include "platform/memory.hpp"

namespace pellucor::analysis::mc {

void advise_huge_pages(void* p, std::size_t bytes) {
  platform::advise_huge_pages(p, bytes);
}

}  // namespace pellucor::analysis::mc
