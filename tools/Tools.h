// The toolbox: TMyTools, a stateless helper class with one shared instance,
// MyTools, that lives from the library's load to its unload. The compression
// (dialog/Compression.h) uses its progress percentage.
#pragma once

#include <cstdint>

namespace tavi {

class TMyTools {
 public:
  // How far CurrValue has come from StartValue towards EndValue, in percent,
  // rounded half to even; 100 for an empty span or a value below the start.
  std::int32_t CalculateGauge(std::int32_t CurrValue, std::int32_t StartValue,
                              std::int32_t EndValue) const;
};

// The one shared instance; set before any other module of the library runs.
extern TMyTools* MyTools;

}  // namespace tavi
