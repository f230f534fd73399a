#include "dialog/Compression.h"

namespace tavi {

void TCompressionRun::DoCompress(std::u16string& text) {
  (void)text;
  view_.SetProgress(0);
}

}  // namespace tavi
