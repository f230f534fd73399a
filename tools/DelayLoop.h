// The pause behind the toolbox's Delay (Tools.h), with the platform's tick
// count, message processing and sleep passed in, so that its counting can be
// checked on any build, with a tick count that wraps.
#pragma once

#include <cstdint>

namespace tavi {

// The sleep between two rounds of message processing, in milliseconds.
inline constexpr std::uint32_t kDelaySleep = 10;

// Processes messages and sleeps kDelaySleep in turn, at least once, until
// msecs have passed since the start. ProcessMessages returns true when the
// application has been told to quit, which ends the pause before the sleep.
// The elapsed time is an unsigned 32-bit difference, so a tick count that
// wraps around during the pause does no harm.
template <typename TickCount, typename ProcessMessages, typename SleepFor>
void DelayLoop(std::uint32_t msecs, TickCount tickCount, ProcessMessages processMessages,
               SleepFor sleepFor) {
  const std::uint32_t start = tickCount();
  do {
    if (processMessages()) return;
    sleepFor(kDelaySleep);
  } while (static_cast<std::uint32_t>(tickCount() - start) < msecs);
}

}  // namespace tavi
