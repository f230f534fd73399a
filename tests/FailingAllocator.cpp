#include "FailingAllocator.h"

#include <cstdlib>
#include <new>

namespace tavi::test {
long gAllocationsLeft = -1;
}

// The replacements pair malloc with free, which GCC cannot see through.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  long& left = tavi::test::gAllocationsLeft;
  if (left == 0) {
    left = -1;
    throw std::bad_alloc();
  }
  if (left > 0) --left;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
