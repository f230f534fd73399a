// A target that traps on the input "bug" and accepts everything else: the
// test of scripts/fuzz.sh runs it to see that a crash fails the script. Its
// name lacks the _fuzz ending, so the script's own runs leave it out.
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Byte by byte, so that the coverage leads the fuzzer to it in a few
  // thousand runs.
  if (size >= 3 && data[0] == 'b' && data[1] == 'u' && data[2] == 'g') __builtin_trap();
  return 0;
}
