#include "platform/memory.hpp"

namespace pellucor::platform {

// Windows gives large pages only to memory allocated as such (VirtualAlloc with MEM_LARGE_PAGES,
// and only to accounts holding the right to lock pages in memory); a buffer already allocated
// keeps ordinary pages. The first writes then cost more page faults; nothing else differs.
void advise_huge_pages(void*, std::size_t) {}

}  // namespace pellucor::platform
