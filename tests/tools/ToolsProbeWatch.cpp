#include "ToolsProbeWatch.h"

#include "tools/Tools.h"

namespace tavi::test {

Watch::Watch() : toolsAtStart(MyTools != nullptr) {}
Watch::~Watch() {
  if (toolsAtEnd != nullptr) *toolsAtEnd = MyTools != nullptr ? 1 : 0;
}

Watch gWatch;

}  // namespace tavi::test
