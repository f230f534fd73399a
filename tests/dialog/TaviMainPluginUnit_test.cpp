#include "dialog/TaviMainPluginUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "dialog/FakeView.h"
#include "FailingAllocator.h"

namespace tavi {
namespace {

using test::gAllocationsLeft;

using Calls = std::vector<std::string>;

// The calls after an action that give the dialog back: restore, then refresh.
Calls Restored(const std::string& length, bool enabled = true) {
  const std::string state = enabled ? " on" : " off";
  return {"ToolBar on", "Cursor default", "TaviBtn" + state, "CompBtn" + state, "SonderZAndCompBtn" + state,
          "TextLenLabel '" + length + "'"};
}

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

Calls Concat(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class DialogTest : public ::testing::Test {
 protected:
  FakeView view;
  TMainSonderZPlugin dialog{view};

  void Show(std::u16string text) {
    dialog.Text = std::move(text);
    dialog.FormShow();
    view.calls.clear();
  }
};

TEST_F(DialogTest, RefreshFollowsTheText) {
  struct Case {
    const char* name;
    std::u16string text;
    bool enabled;
    const char* length;
  };
  const Case cases[] = {
      {"empty text disables the actions", u"", false, "0"},
      {"one unit enables them", u"x", true, "1"},
      {"length counts code units", u"\U0001F600\u00E4", true, "3"},
      {"no digit grouping", std::u16string(12345, u'a'), true, "12345"},
  };
  for (const Case& c : cases) {
    view.calls.clear();
    dialog.Text = c.text;
    dialog.FormShow();
    const Calls expected = {std::string("TaviBtn ") + (c.enabled ? "on" : "off"),
                            std::string("CompBtn ") + (c.enabled ? "on" : "off"),
                            std::string("SonderZAndCompBtn ") + (c.enabled ? "on" : "off"),
                            std::string("TextLenLabel '") + c.length + "'"};
    EXPECT_EQ(view.calls, expected) << c.name;
    EXPECT_TRUE(view.Enabled(TToolButton::ExitBtn)) << c.name;
  }
}

TEST_F(DialogTest, ConvertRunsInOrderAndReportsTheCount) {
  Show(u"a < b & c > d ä");
  dialog.TaviBtnClick();
  EXPECT_EQ(dialog.Text, u"a < b & c > d &auml;");
  const Calls expected = Concat({"ToolBar off", "Cursor wait", "Informationen: 1 Sonderzeichen konvertiert.",
                                 "Progress 0", "StateLabel 'Status aktueller Text:'"},
                                Restored("20"));
  EXPECT_EQ(view.calls, expected);
}

TEST_F(DialogTest, ConvertMessagesCountCharactersNotUnits) {
  struct Case {
    std::u16string text;
    const char* message;
  };
  const Case cases[] = {
      {u"plain", "Informationen: 0 Sonderzeichen konvertiert."},
      {u"€€ Grüße", "Informationen: 4 Sonderzeichen konvertiert."},
  };
  for (const Case& c : cases) {
    view.messages.clear();
    Show(c.text);
    dialog.TaviBtnClick();
    EXPECT_EQ(view.messages, Calls{c.message});
  }
}

TEST_F(DialogTest, SecondConversionFindsNothing) {
  Show(u"Köln");
  dialog.TaviBtnClick();
  dialog.TaviBtnClick();
  EXPECT_EQ(dialog.Text, u"K&ouml;ln");
  EXPECT_EQ(view.messages, (Calls{"Informationen: 1 Sonderzeichen konvertiert.",
                                  "Informationen: 0 Sonderzeichen konvertiert."}));
}

TEST_F(DialogTest, BothActionsShowTheCountThenTheCompressionMessage) {
  Show(u"ä");
  dialog.SonderZAndCompBtnClick();
  EXPECT_EQ(view.messages, (Calls{"Informationen: 1 Sonderzeichen konvertiert.",
                                  "Informationen: Komprimierung beendet."}));
  EXPECT_EQ(view.progress, 0);
  EXPECT_TRUE(view.toolBarEnabled);
  EXPECT_FALSE(view.waitCursor);
}

TEST_F(DialogTest, CompressionMessageFollowsEveryCompression) {
  Show(u"nothing to do");
  dialog.CompBtnClick();
  EXPECT_EQ(view.messages, Calls{"Informationen: Komprimierung beendet."});
  EXPECT_EQ(dialog.Text, u"nothing to do");
}

TEST_F(DialogTest, ExitClosesTheDialog) {
  Show(u"text");
  dialog.ExitBtnClick();
  EXPECT_EQ(view.calls, Calls{"Close"});
  EXPECT_EQ(dialog.Text, u"text");
}

// Messages let through during an action may carry clicks; none of them may
// start a second action or close the dialog in the middle of one.
TEST_F(DialogTest, ClicksDuringAnActionAreIgnored) {
  Show(u"ä");
  int boxes = 0;
  view.onMessage = [&](const std::string&) {
    ++boxes;
    EXPECT_TRUE(dialog.Running());
    dialog.TaviBtnClick();
    dialog.SonderZAndCompBtnClick();
    dialog.ExitBtnClick();
  };
  dialog.TaviBtnClick();
  EXPECT_EQ(boxes, 1);
  EXPECT_FALSE(view.closed);
  EXPECT_FALSE(dialog.Running());
  EXPECT_EQ(dialog.Text, u"&auml;");
}

// A failed conversion leaves the text alone, shows no count, skips the
// compression and the progress reset, and still gives the dialog back.
TEST_F(DialogTest, FailedConversionLeavesTextAndRestoresTheDialog) {
  Show(u"Grüße aus Köln");
  gAllocationsLeft = 0;
  EXPECT_THROW(dialog.SonderZAndCompBtnClick(), std::bad_alloc);
  gAllocationsLeft = -1;
  EXPECT_EQ(dialog.Text, u"Grüße aus Köln");
  EXPECT_EQ(view.calls, Concat({"ToolBar off", "Cursor wait"}, Restored("14")));
  EXPECT_FALSE(dialog.Running());
}

// Whichever allocation of both actions fails, the text is untouched, wholly
// converted or wholly compressed, and the dialog is given back every time.
TEST_F(DialogTest, EveryFailurePointRestoresTheDialog) {
  for (long failAt = 0;; ++failAt) {
    Show(u"Grüße  aus Köln");
    gAllocationsLeft = failAt;
    try {
      dialog.SonderZAndCompBtnClick();
    } catch (const std::bad_alloc&) {
    }
    const bool failed = gAllocationsLeft == -1;
    gAllocationsLeft = -1;
    if (!failed) break;  // the whole run went through
    EXPECT_TRUE(dialog.Text == u"Grüße  aus Köln" || dialog.Text == u"Gr&uuml;&szlig;e  aus K&ouml;ln" ||
                dialog.Text == u"Gr&uuml;&szlig;e aus K&ouml;ln")
        << failAt;
    EXPECT_TRUE(view.toolBarEnabled) << failAt;
    EXPECT_FALSE(view.waitCursor) << failAt;
    EXPECT_FALSE(dialog.Running()) << failAt;
    // The refresh itself may be where the allocation failed; the next
    // action gives the length label back in any case.
    dialog.TaviBtnClick();
    EXPECT_EQ(view.Caption(TLabel::TextLenLabel), Utf16(std::to_string(dialog.Text.size()))) << failAt;
  }
}

// Whichever call to the window fails during both actions, the text is one of
// the states an action completes with, no later step runs, and the dialog is
// given back: apart from the one call that failed, the tool bar, the cursor
// and the refresh are restored, and the next action runs normally.
TEST_F(DialogTest, EveryViewFailureRestoresTheDialog) {
  const std::u16string source = u"Grüße  aus Köln";
  const std::u16string converted = u"Gr&uuml;&szlig;e  aus K&ouml;ln";
  const std::u16string compressed = u"Gr&uuml;&szlig;e aus K&ouml;ln";
  for (int failAt = 0;; ++failAt) {
    SCOPED_TRACE(failAt);
    FakeView local;
    TMainSonderZPlugin form(local);
    form.Text = source;
    form.FormShow();
    int seen = 0;
    std::string failed;
    local.before = [&](const std::string& line) {
      if (seen++ == failAt) {
        failed = line;
        throw std::runtime_error("window call failed");
      }
    };
    try {
      form.SonderZAndCompBtnClick();
    } catch (const std::runtime_error&) {
    }
    local.before = nullptr;
    if (failed.empty()) break;  // the whole run went through

    EXPECT_TRUE(form.Text == source || form.Text == converted || form.Text == compressed) << failed;
    EXPECT_FALSE(form.Running());
    if (failed != "ToolBar on") {
      EXPECT_TRUE(local.toolBarEnabled) << failed;
    }
    if (failed != "Cursor default") {
      EXPECT_FALSE(local.waitCursor) << failed;
    }
    const bool inRefresh = failed.find("Btn ") != std::string::npos || failed.rfind("TextLenLabel", 0) == 0;
    if (!inRefresh) {
      EXPECT_EQ(local.Caption(TLabel::TextLenLabel), Utf16(std::to_string(form.Text.size()))) << failed;
    }
    EXPECT_FALSE(local.Visible(TLabel::ScriptLabel));
    EXPECT_FALSE(local.Visible(TLabel::PreLabel));

    local.messages.clear();
    form.TaviBtnClick();
    EXPECT_EQ(local.messages.size(), 1u) << failed;
    EXPECT_TRUE(local.toolBarEnabled);
    EXPECT_FALSE(local.waitCursor);
    EXPECT_EQ(local.Caption(TLabel::TextLenLabel), Utf16(std::to_string(form.Text.size())));
  }
}

TEST_F(DialogTest, FailingMessageBoxStillRestoresTheDialog) {
  Show(u"ä");
  view.onMessage = [](const std::string&) { throw std::runtime_error("box failed"); };
  EXPECT_THROW(dialog.TaviBtnClick(), std::runtime_error);
  EXPECT_EQ(dialog.Text, u"&auml;");
  EXPECT_TRUE(view.toolBarEnabled);
  EXPECT_FALSE(view.waitCursor);
  EXPECT_EQ(view.Caption(TLabel::TextLenLabel), u"6");
  // The dialog is usable again afterwards.
  view.onMessage = nullptr;
  dialog.TaviBtnClick();
  EXPECT_EQ(view.messages.back(), "Informationen: 0 Sonderzeichen konvertiert.");
}

}  // namespace
}  // namespace tavi
