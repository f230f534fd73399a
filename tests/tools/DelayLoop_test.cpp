#include "tools/DelayLoop.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tavi {
namespace {

// A tick count that moves only while the loop sleeps, by Step per sleep.
struct FakeClock {
  std::uint32_t now;
  std::uint32_t step;
  int quitAtPass;  // The message round that sees a quit; 0 for none.
  int passes = 0;
  int sleeps = 0;
  bool otherSleep = false;

  void Run(std::uint32_t msecs) {
    DelayLoop(
        msecs, [this] { return now; }, [this] { return ++passes == quitAtPass; },
        [this](std::uint32_t ms) {
          otherSleep = otherSleep || ms != 10;
          ++sleeps;
          now += step;
        });
  }
};

TEST(DelayLoop, Rounds) {
  struct Case {
    const char* name;
    std::uint32_t start, step, msecs;
    int quitAtPass;
    int passes, sleeps;
  };
  const Case kCases[] = {
      {"zero: one round", 1000, 10, 0, 0, 1, 1},
      {"below one sleep", 1000, 10, 5, 0, 1, 1},
      {"exact multiple", 1000, 10, 100, 0, 10, 10},
      {"one past a multiple", 1000, 10, 101, 0, 11, 11},
      {"coarse ticks", 1000, 16, 100, 0, 7, 7},
      // The tick count wraps during the pause: the difference stays right.
      {"wraps", 0xFFFFFFF0u, 10, 100, 0, 10, 10},
      {"starts at the top", 0xFFFFFFFFu, 10, 30, 0, 3, 3},
      // A quit ends the pause right after the message round, before a sleep.
      {"quit at once", 1000, 10, 5000, 1, 1, 0},
      {"quit in the third round", 1000, 10, 5000, 3, 3, 2},
      {"quit seen even at zero", 1000, 10, 0, 1, 1, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeClock clock{c.start, c.step, c.quitAtPass};
    clock.Run(c.msecs);
    EXPECT_EQ(clock.passes, c.passes);
    EXPECT_EQ(clock.sleeps, c.sleeps);
    EXPECT_FALSE(clock.otherSleep);
  }
}

}  // namespace
}  // namespace tavi
