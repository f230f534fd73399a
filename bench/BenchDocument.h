// A large HTML document that looks like pages saved from a Windows editor:
// CR LF line ends, two-space indentation, head scripts, inline scripts, pre
// code listings, tables, lists, and German text with umlauts and the euro
// sign. Generated from a fixed seed, so every run measures the same text.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

namespace tavi::bench {

// Size of the text saved as UTF-8 (surrogate pairs do not occur here).
inline std::size_t Utf8Size(std::u16string_view text) {
  std::size_t size = 0;
  for (char16_t c : text) size += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
  return size;
}

class PageWriter {
 public:
  explicit PageWriter(unsigned seed) : random_(seed) {}

  // Appends whole pages until the UTF-8 size reaches at least utf8Bytes.
  std::u16string Document(std::size_t utf8Bytes) {
    std::u16string out;
    out.reserve(utf8Bytes + utf8Bytes / 8);
    std::size_t size = 0;
    while (size < utf8Bytes) {
      const std::size_t before = out.size();
      Page(out);
      size += Utf8Size(std::u16string_view(out).substr(before));
    }
    return out;
  }

 private:
  void Line(std::u16string& out, int depth, std::u16string_view text) {
    out.append(static_cast<std::size_t>(depth) * 2, u' ');
    out += text;
    out += u"\r\n";
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::u16string Sentence() {
    static constexpr std::u16string_view kWords[] = {
        u"Die",      u"Stadt",    u"Köln",      u"liegt",     u"am",       u"Rhein",     u"und",
        u"ist",      u"für",      u"ihre",      u"Brücken",   u"bekannt",  u"Über",      u"Straßen",
        u"fahren",   u"täglich",  u"viele",     u"Züge",      u"nach",     u"Düsseldorf", u"Größe",
        u"Fläche",   u"Einwohner", u"Museum",   u"öffnet",    u"um",       u"neun",      u"Uhr",
        u"Eintritt", u"kostet",   u"zwölf",     u"Euro",      u"€",        u"Kinder",    u"zahlen",
        u"weniger",  u"Gäste",    u"schätzen",  u"das",       u"Frühstück", u"im",       u"Hotel",
        u"der",      u"Dom",      u"wurde",     u"erbaut",    u"Jahrhundert", u"später", u"Umbau"};
    constexpr int kCount = static_cast<int>(sizeof kWords / sizeof kWords[0]);
    std::u16string s;
    const int words = 6 + Pick(12);
    for (int i = 0; i < words; ++i) {
      if (i > 0) s += u' ';
      s += kWords[Pick(kCount)];
    }
    s += u'.';
    return s;
  }

  void Page(std::u16string& out) {
    ++page_;
    const std::u16string id = std::u16string(u"p") + Number(page_);
    Line(out, 0, u"<!DOCTYPE html>");
    Line(out, 0, u"<html lang=\"de\">");
    Line(out, 1, u"<head>");
    Line(out, 2, u"<meta charset=\"utf-8\">");
    Line(out, 2, u"<title>Städteführer – Seite " + Number(page_) + u"</title>");
    Line(out, 2, u"<link rel=\"stylesheet\" href=\"style.css\">");
    Line(out, 2, u"<script type=\"text/javascript\">");
    Line(out, 3, u"var seite = " + Number(page_) + u";");
    Line(out, 3, u"function zeige(id) {");
    Line(out, 4, u"var e = document.getElementById(id);");
    Line(out, 4, u"if (e != null && e.style.display == 'none') {");
    Line(out, 5, u"e.style.display = 'block';");
    Line(out, 4, u"}");
    Line(out, 3, u"}");
    Line(out, 2, u"</script>");
    Line(out, 1, u"</head>");
    Line(out, 1, u"<body onload=\"zeige('" + id + u"')\">");
    Line(out, 2, u"<div id=\"navigation\">");
    Line(out, 3, u"<ul>");
    for (int i = 0; i < 6; ++i) {
      Line(out, 4, u"<li> <a href=\"seite" + Number(i) + u".html\">Kapitel " + Number(i) + u"</a> </li>");
    }
    Line(out, 3, u"</ul>");
    Line(out, 2, u"</div>");
    Line(out, 2, u"<div id=\"" + id + u"\" class=\"inhalt\">");
    Line(out, 3, u"<h1>Städteführer: Köln und Düsseldorf</h1>");
    const int sections = 3 + Pick(4);
    for (int s = 0; s < sections; ++s) {
      Line(out, 3, u"<h2>Abschnitt " + Number(s + 1) + u"</h2>");
      for (int p = 1 + Pick(3); p > 0; --p) {
        Line(out, 3, u"<p>");
        for (int l = 2 + Pick(4); l > 0; --l) Line(out, 4, Sentence());
        Line(out, 3, u"</p>");
      }
      switch (Pick(4)) {
        case 0:
          Line(out, 3, u"<table border=\"0\" cellpadding=\"2\">");
          for (int r = 0; r < 4; ++r) {
            Line(out, 4, u"<tr>");
            Line(out, 5, u"<td> Zeile " + Number(r) + u" </td> <td>" + Number(Pick(900) + 100) + u",00 €</td>");
            Line(out, 4, u"</tr>");
          }
          Line(out, 3, u"</table>");
          break;
        case 1:
          Line(out, 3, u"<pre class=\"code\">");
          Line(out, 0, u"  Öffnungszeiten   Mo - Fr    9:00 - 18:00");
          Line(out, 0, u"                   Sa        10:00 - 14:00");
          Line(out, 0, u"\tPreise\t\tErwachsene  12,00 €");
          Line(out, 3, u"</pre>");
          break;
        case 2:
          Line(out, 3, u"<script>");
          Line(out, 4, u"document.write('<p class=\"hinweis\">' + seite + '</p>');");
          Line(out, 3, u"</script>");
          break;
        default:
          Line(out, 3, u"<ul>");
          for (int i = 0; i < 3; ++i) Line(out, 4, u"<li>" + Sentence() + u"</li>");
          Line(out, 3, u"</ul>");
          break;
      }
    }
    Line(out, 2, u"</div>");
    Line(out, 2, u"<div id=\"fuss\"> <p>© 2026 Städteführer · Impressum</p> </div>");
    Line(out, 1, u"</body>");
    Line(out, 0, u"</html>");
  }

  static std::u16string Number(int n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
  }

  std::mt19937 random_;
  int page_ = 0;
};

inline std::u16string RealPages(std::size_t utf8Bytes, unsigned seed = 2026) {
  return PageWriter(seed).Document(utf8Bytes);
}

}  // namespace tavi::bench
