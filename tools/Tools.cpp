#include "tools/Tools.h"

#include <cmath>

namespace tavi {

// Created before, and freed after, every module that may use it: the
// init_priority puts it ahead of all ordinary static objects of the library.
namespace {
struct TMyToolsOwner {
  TMyTools instance;
  TMyToolsOwner() { MyTools = &instance; }
  ~TMyToolsOwner() { MyTools = nullptr; }
};
}  // namespace

TMyTools* MyTools = nullptr;
__attribute__((init_priority(200))) static TMyToolsOwner gMyToolsOwner;

std::int32_t TMyTools::CalculateGauge(std::int32_t CurrValue, std::int32_t StartValue,
                                      std::int32_t EndValue) const {
  const std::int64_t span = std::int64_t{EndValue} - StartValue;
  const std::int64_t done = std::int64_t{CurrValue} - StartValue;
  if (span == 0 || done < 0) return 100;
  // The product is formed in 64 bits so that any 32-bit span gives the true
  // percentage; nearbyint rounds half to even in the default rounding mode.
  return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(done * 100) / static_cast<double>(span)));
}

}  // namespace tavi
