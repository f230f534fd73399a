// A document of about 9.5 million code units for the Windows tests of long
// compressions, and what the dialog's own engine makes of it, to compare
// with what comes back through the dialog.
#pragma once

#include <string>
#include <string_view>

#include "dialog/MainView.h"
#include "dialog/TaviMainPluginUnit.h"

namespace hosttest {

// A view that does nothing: the engine's own result, to compare with what
// comes back through the dialog.
class SilentView final : public tavi::IMainView {
 public:
  void SetToolBarEnabled(bool) override {}
  void SetButtonEnabled(tavi::TToolButton, bool) override {}
  void SetLabelCaption(tavi::TLabel, std::u16string_view) override {}
  void SetLabelVisible(tavi::TLabel, bool) override {}
  void SetProgress(int) override {}
  void SetWaitCursor(bool) override {}
  void ShowMessage(tavi::TMessageKind, std::u16string_view) override {}
  void ProcessMessages() override {}
  void Close() override {}
};

// About 10 MB of HTML as pages are written: indented lines, CR LF, tabs,
// runs of blanks, umlauts, and a script and a pre section every 20 KB or so.
inline std::u16string LargeDocument() {
  const std::u16string article =
      u"<div class=\"artikel\">\r\n"
      u"    <h2>Grüße   aus   Köln</h2>\r\n"
      u"\t<p>\r\n"
      u"      Die Straße am Rhein ist schön,    besonders im Frühling.\r\n"
      u"      <a href=\"mehr.html\">mehr</a> <b>fett</b>  <i>kursiv</i>\r\n"
      u"    </p>\r\n"
      u"    <ul> <li>Äpfel</li> <li>Birnen</li> </ul>\r\n"
      u"</div>\r\n";
  const std::u16string sections =
      u"    <script type=\"text/javascript\">\r\n"
      u"      var  x  =  1;   // bleibt   so\r\n"
      u"    </script>\r\n"
      u"    <PRE>\r\n"
      u"  Mo–Fr   9–18 Uhr\r\n"
      u"    </PRE>\r\n";
  std::u16string page;
  for (int i = 0; i < 60; ++i) page += article;
  page += sections;
  std::u16string text;
  const std::size_t copies = 10u * 1000u * 1000u / (page.size() + page.size() / 20);
  text.reserve(copies * page.size());
  for (std::size_t i = 0; i < copies; ++i) text += page;
  return text;
}

inline std::u16string CompressedByEngine(const std::u16string& document) {
  SilentView view;
  tavi::TMainSonderZPlugin engine(view);
  engine.Text = document;
  engine.CompBtnClick();
  return engine.Text;
}

}  // namespace hosttest
