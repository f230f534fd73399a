// Allocation failures on demand, for the tests of the failure paths: a test
// program that links tests/FailingAllocator.cpp has its global operator new
// replaced by one that can be told to fail.
#pragma once

namespace tavi::test {

// Off at -1. Set to n >= 0, the allocation after n more successful ones
// throws std::bad_alloc, once, and this is set back to -1; a test tells from
// that whether the failure came.
extern long gAllocationsLeft;

}  // namespace tavi::test
