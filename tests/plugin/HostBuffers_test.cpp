#include "plugin/HostBuffers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tavi {
namespace {

constexpr char16_t kGuard = 0xFDFD;

// A host buffer of `units` code units followed by guard units.
struct HostBuffer {
  explicit HostBuffer(std::size_t count) : memory(count + 8, kGuard), units(count) {}
  char16_t* data() { return memory.data(); }
  bool GuardsIntact() const {
    for (std::size_t i = units; i < memory.size(); ++i) {
      if (memory[i] != kGuard) return false;
    }
    return true;
  }
  std::u16string Text() const { return std::u16string(memory.data()); }
  std::vector<char16_t> memory;
  std::size_t units;
};

TEST(HostBuffers, DisplayNameFollowsTheLimit) {
  struct Case {
    std::int32_t limit;
    std::u16string expected;
  };
  const Case cases[] = {{8, u"Scrivlex"}, {30, u"Scrivlex Sonderzeichen Plug-in"},
                        {29, u"Scrivlex Sonderzeichen Plug-i"}, {1000, u"Scrivlex Sonderzeichen Plug-in"},
                        {1, u"S"}, {0, u""}, {-5, u""}, {INT32_MIN, u""}};
  for (const Case& c : cases) {
    // Room for limit + 1 units, capped at the 31 that can be written.
    HostBuffer buffer(c.limit <= 0 ? 1 : std::min<std::size_t>(static_cast<std::size_t>(c.limit) + 1, 31));
    WriteDisplayName(buffer.data(), c.limit);
    EXPECT_EQ(buffer.Text(), c.expected) << c.limit;
    EXPECT_TRUE(buffer.GuardsIntact()) << c.limit;
  }
}

TEST(HostBuffers, ResultNeedsRoomForItsLength) {
  const std::u16string result = u"Gr&uuml;&szlig;e";
  const std::uint32_t length = static_cast<std::uint32_t>(result.size());
  struct Case {
    const char* name;
    std::uint32_t size;
    bool copied;
  };
  const Case cases[] = {{"exactly L", length, true},
                        {"L - 1", length - 1, false},
                        {"zero", 0, false},
                        {"all bits set is the largest size", 0xFFFFFFFFu, true}};
  for (const Case& c : cases) {
    HostBuffer buffer(std::min<std::uint32_t>(c.size, 64) + 1);
    std::uint32_t size = c.size;
    EXPECT_EQ(WriteResult(result, buffer.data(), size), c.copied) << c.name;
    EXPECT_EQ(size, length) << c.name;
    EXPECT_TRUE(buffer.GuardsIntact()) << c.name;
    if (c.copied) {
      EXPECT_EQ(buffer.Text(), result) << c.name;
    } else {
      EXPECT_EQ(buffer.memory[0], kGuard) << c.name << ": buffer touched";
    }
  }
}

TEST(HostBuffers, EmptyResultWritesOneNul) {
  HostBuffer buffer(1);
  std::uint32_t size = 0;
  EXPECT_TRUE(WriteResult(u"", buffer.data(), size));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(buffer.memory[0], u'\0');
  EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(HostBuffers, NullBufferTakesNothing) {
  std::uint32_t size = 100;
  EXPECT_FALSE(WriteResult(u"abc", nullptr, size));
  EXPECT_EQ(size, 3u);
}

// A result holding NULs is copied whole; the host learns its true length.
TEST(HostBuffers, NulInsideTheResultIsCopied) {
  const std::u16string result(u"a\0b", 3);
  HostBuffer buffer(4);
  std::uint32_t size = 3;
  EXPECT_TRUE(WriteResult(result, buffer.data(), size));
  EXPECT_EQ(std::u16string(buffer.data(), 3), result);
  EXPECT_EQ(buffer.memory[3], u'\0');
}

}  // namespace
}  // namespace tavi
