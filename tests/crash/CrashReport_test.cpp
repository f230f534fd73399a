#include "crash/CrashReport.h"

#include <gtest/gtest.h>

#include <string>

namespace tavi::crash {
namespace {

std::string Text(void (*write)(TTextBuffer&, const TReportFacts&), const TReportFacts& facts) {
  static char storage[8192];
  TTextBuffer out(storage, sizeof storage);
  write(out, facts);
  return std::string(out.View());
}

const TModuleInfo kModules[] = {
    {"scrivlex-host.exe", "Z:\\b\\scrivlex-host.exe", "", 0x140000000, 0x20000},
    {"Tavi.dll", "Z:\\b\\Tavi.dll", "1.1.0.13", 0x3D5A00000, 0x80000},
};
const std::uint64_t kStack[] = {0x3D5A01A2B, 0x140001000, 0x7000};
const std::uint64_t kRegisters[kRegisterCount] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0x3D5A01A2B};

TReportFacts Fault() {
  TReportFacts facts;
  facts.time = "2026-12-11T15:23:00+01:00";
  facts.libraryPath = "Z:\\b\\Tavi.dll";
  facts.libraryVersion = "1.1.0.13";
  facts.libraryBase = 0x3D5A00000;
  facts.hostPath = "Z:\\b\\scrivlex-host.exe";
  facts.windowsVersion = "10.0.19045";
  facts.wineVersion = "8.0";
  facts.code = 0xC0000005;
  facts.address = 0x3D5A01A2B;
  facts.hasAccess = true;
  facts.accessKind = 1;
  facts.threadId = 32;
  facts.hostThread = true;
  facts.registers = kRegisters;
  facts.stack = kStack;
  facts.modules = kModules;
  facts.lastAction = "Komprimieren";
  facts.textLength = 5;
  return facts;
}

TEST(CrashReport, FaultReportHasItsLines) {
  const std::string text = Text(AppendReport, Fault());
  const char* lines[] = {
      "Bericht: Ausnahme 2026-12-11T15:23:00+01:00\n",
      "\nZusammenfassung: Im Plug-in ist ein unerwarteter Fehler aufgetreten: Zugriffsverletzung bei "
      "Tavi.dll+0x1A2B.\n",
      "\nBibliothek: Z:\\b\\Tavi.dll\n", "\nBibliotheksversion: 1.1.0.13\n",
      "\nBibliotheksbasis: 0x00000003D5A00000\n", "\nProgramm: Z:\\b\\scrivlex-host.exe\n",
      "\nProgrammversion: unbekannt\n", "\nWindows: 10.0.19045\n", "\nWine: 8.0\n",
      "\nAusnahme: 0xC0000005 Zugriffsverletzung\n", "\nAdresse: Tavi.dll+0x1A2B\n",
      "\nZugriff: Schreiben bei 0x0000000000000000\n", "\nThread: 32 (Oberflächen-Thread des Programms)\n",
      "\nRegister: RAX=0x0000000000000001 RBX=0x0000000000000002 RCX=0x0000000000000003 "
      "RDX=0x0000000000000004\n",
      "\nRegister: RIP=0x00000003D5A01A2B\n", "\nAufruf: Tavi.dll+0x1A2B\nAufruf: scrivlex-host.exe+0x1000\n"
      "Aufruf: 0x0000000000007000\n",
      "\nModul: 0x0000000140000000 Z:\\b\\scrivlex-host.exe (ohne Version)\n",
      "\nModul: 0x00000003D5A00000 Z:\\b\\Tavi.dll 1.1.0.13\n", "\nLetzte Aktion: Komprimieren\n",
      "\nTextlänge: 5\n\n"};
  for (const char* line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n--- in:\n" << text;
  EXPECT_EQ(text.rfind("Bericht: ", 0), 0u);
  EXPECT_EQ(text.find("\nBericht: "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

TEST(CrashReport, KindsAndSummaries) {
  struct Case {
    const char* name;
    TReportFacts facts;
    const char* firstLine;
    const char* summary;
    const char* detail;
  };
  TReportFacts freeze = Fault();
  freeze.kind = TReportKind::Freeze;
  freeze.freezeMs = 300000;
  TReportFacts freezeSecond = freeze;
  freezeSecond.freezeMs = 1000;
  TReportFacts request = Fault();
  request.kind = TReportKind::Request;
  request.reason = "Support\nBericht: falsch";
  request.registers = nullptr;
  TReportFacts cpp = Fault();
  cpp.cppException = true;
  cpp.code = 0;
  cpp.cppWhat = "cannot create the dialog";
  cpp.barrier = "ScrivlexPlugInDoWork";
  TReportFacts divide = Fault();
  divide.code = 0xC0000094;
  divide.hasAccess = false;
  divide.hostThread = false;
  const Case cases[] = {
      {"freeze", freeze, "Bericht: Einfrieren ", "Das Plug-in reagiert seit fünf Minuten nicht mehr.",
       "Keine Antwort seit: 300000 ms\n"},
      {"freeze of a second", freezeSecond, "Bericht: Einfrieren ",
       "Das Plug-in reagiert seit 1 Sekunde nicht mehr.", "Keine Antwort seit: 1000 ms\n"},
      // The caller's reason stays on its line.
      {"request", request, "Bericht: Anfrage ", "Ein Fehlerbericht wurde angefordert.",
       "Grund: Support Bericht: falsch\n"},
      {"C++ exception", cpp, "Bericht: Ausnahme ",
       "Im Plug-in ist ein unerwarteter Fehler aufgetreten: nicht behandelte C++-Ausnahme in ScrivlexPlugInDoWork.",
       "Ausnahme: C++-Ausnahme (cannot create the dialog)\nBarriere: ScrivlexPlugInDoWork\n"},
      {"divide on another thread", divide, "Bericht: Ausnahme ",
       "Im Plug-in ist ein unerwarteter Fehler aufgetreten: Ganzzahlige Division durch null bei Tavi.dll+0x1A2B.",
       "Ausnahme: 0xC0000094 Ganzzahlige Division durch null\nAdresse: Tavi.dll+0x1A2B\nThread: 32 (anderer Thread)\n"},
  };
  for (const Case& c : cases) {
    const std::string text = Text(AppendReport, c.facts);
    EXPECT_EQ(text.rfind(c.firstLine, 0), 0u) << c.name << "\n" << text;
    EXPECT_EQ(Text(AppendSummary, c.facts), c.summary) << c.name;
    EXPECT_NE(text.find(c.detail), std::string::npos) << c.name << "\n" << text;
    EXPECT_EQ(text.find("\nBericht: "), std::string::npos) << c.name;
  }
  EXPECT_EQ(Text(AppendReport, request).find("Register:"), std::string::npos);
}

TEST(CrashReport, ExceptionNamesAndDurations) {
  EXPECT_EQ(ExceptionName(0xC00000FD), "Stapelüberlauf");
  EXPECT_EQ(ExceptionName(0xC0000006), "Seitenfehler beim Einlesen");
  EXPECT_EQ(ExceptionName(0x80000002), "Falsch ausgerichtete Daten");
  EXPECT_EQ(ExceptionName(0x20474343), "unbekannte Ausnahme");
  struct Case {
    std::uint32_t ms;
    const char* text;
  };
  for (const Case& c : {Case{60000, "einer Minute"}, Case{120000, "zwei Minuten"}, Case{900000, "15 Minuten"},
                        Case{1000, "1 Sekunde"}, Case{90000, "90 Sekunden"}, Case{1400, "1 Sekunde"}}) {
    char storage[64];
    TTextBuffer out(storage, sizeof storage);
    AppendDuration(out, c.ms);
    EXPECT_EQ(out.View(), c.text) << c.ms;
  }
}

TEST(CrashReport, BufferNeverOverflows) {
  char storage[40] = {};
  storage[39] = '#';
  TTextBuffer out(storage, 39);
  AppendReport(out, Fault());
  EXPECT_EQ(out.Size(), 39u);
  EXPECT_TRUE(out.Truncated());
  EXPECT_EQ(storage[39], '#');
}

}  // namespace
}  // namespace tavi::crash
