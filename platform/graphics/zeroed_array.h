// Arrays that start zeroed, from calloc. Private to platform/graphics.
//
// calloc hands memory fresh from the system over as it is, already zero and not
// yet touched, so a buffer of megabytes costs nothing until it is written, and its
// pages are faulted in by the work that fills them rather than all at once by a
// clearing pass before it. (Memory reused within the process is cleared by calloc;
// it is resident already.)
#pragma once

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

namespace platform::graphics {

struct FreeWithFree {
  void operator()(void* p) const { std::free(p); }
};

template <typename T>
using ZeroedArray = std::unique_ptr<T[], FreeWithFree>;

// `count` zeroed elements of a trivial type; throws std::bad_alloc.
template <typename T>
ZeroedArray<T> zeroedArray(std::size_t count) {
  void* p = std::calloc(std::max<std::size_t>(count, 1), sizeof(T));
  if (!p) throw std::bad_alloc();
  return ZeroedArray<T>(static_cast<T*>(p));
}

}  // namespace platform::graphics
