// Random sequences of the exports' buffer operations against a model of the
// host's memory: nothing is written outside the units the rules allow, and
// the answers follow the rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/HostBuffers.h"

namespace {

constexpr char16_t kGuard = 0xFDFD;

class TInput {
 public:
  TInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint32_t Next(int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | (pos_ < size_ ? data_[pos_++] : 0u);
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

void CheckGuards(const std::vector<char16_t>& memory, std::size_t allowed) {
  for (std::size_t i = allowed; i < memory.size(); ++i) {
    if (memory[i] != kGuard) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TInput in(data, size);
  std::u16string result;  // what ResultText would hold
  while (!in.empty()) {
    switch (in.Next(1) % 3) {
      case 0: {  // the display name with a random limit
        const auto limit = static_cast<std::int32_t>(in.Next(4));
        const std::size_t written = limit <= 0 ? 1 : std::min<std::size_t>(static_cast<std::size_t>(limit), 30) + 1;
        std::vector<char16_t> memory(written + 16, kGuard);
        tavi::WriteDisplayName(memory.data(), limit);
        CheckGuards(memory, written);
        if (memory[written - 1] != u'\0') std::abort();
        if (std::u16string_view(memory.data(), written - 1) != tavi::kDisplayName.substr(0, written - 1)) std::abort();
        break;
      }
      case 1: {  // a new result of random length
        result.assign(in.Next(2) % 2000, static_cast<char16_t>(in.Next(2)));
        break;
      }
      default: {  // GetResult with a random size and a buffer of that size + 1
        const std::uint32_t asked = in.Next(1) & 1 ? in.Next(4) : static_cast<std::uint32_t>(result.size()) - in.Next(1) % 3;
        const std::size_t units = std::min<std::uint64_t>(asked, 4096) + 1;
        std::vector<char16_t> memory(units + 16, kGuard);
        std::uint32_t sizeValue = asked;
        const bool copied = tavi::WriteResult(result, memory.data(), sizeValue);
        if (sizeValue != result.size()) std::abort();
        if (copied != (asked >= result.size())) std::abort();
        if (copied) {
          if (std::u16string_view(memory.data(), result.size()) != result || memory[result.size()] != u'\0') std::abort();
          CheckGuards(memory, result.size() + 1);
        } else {
          CheckGuards(memory, 0);
        }
      }
    }
  }
  return 0;
}
