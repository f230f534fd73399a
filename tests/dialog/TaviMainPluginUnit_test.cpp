#include "dialog/TaviMainPluginUnit.h"

#include <gtest/gtest.h>

#include "dialog/FakeView.h"

namespace tavi {
namespace {

TEST(TaviMainPluginUnit, Placeholder) {
  FakeView view;
  TMainSonderZPlugin dialog(view);
  dialog.FormShow();
  EXPECT_FALSE(view.Enabled(TToolButton::TaviBtn));
}

}  // namespace
}  // namespace tavi
