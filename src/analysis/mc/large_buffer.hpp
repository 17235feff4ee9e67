// Buffers of a run's size (a million samples are tens of megabytes): the memory is asked for in
// huge pages where the system offers them, so that writing it for the first time costs a few
// hundred page faults instead of tens of thousands. Only a request to the kernel: the contents
// and the results are the same with or without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pellucor::analysis::mc {

// Asks for huge pages over the whole 2 MiB pages inside [p, p + bytes); nothing below 4 MiB.
void advise_huge_pages(void* p, std::size_t bytes);

// v.reserve(n), with huge pages asked for when the memory is new.
template <class T>
void reserve_large(std::vector<T>& v, std::size_t n) {
  if (n <= v.capacity()) return;
  v.reserve(n);
  advise_huge_pages(v.data(), v.capacity() * sizeof(T));
}

// v.resize(n) (new elements value-initialised), with huge pages asked for when the memory is
// new.
template <class T>
void resize_large(std::vector<T>& v, std::size_t n) {
  reserve_large(v, n);
  v.resize(n);
}

}  // namespace pellucor::analysis::mc
