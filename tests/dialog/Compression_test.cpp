#include "dialog/Compression.h"

#include <gtest/gtest.h>

#include "dialog/FakeView.h"

namespace tavi {
namespace {

TEST(Compression, EmptyTextStaysEmpty) {
  FakeView view;
  std::u16string text;
  TCompressionRun(view).DoCompress(text);
  EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace tavi
