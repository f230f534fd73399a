#include "crash/CrashReport.h"

namespace tavi::crash {

void TTextBuffer::Append(std::string_view text) {
  const std::size_t room = capacity_ - size_;
  const std::size_t count = text.size() <= room ? text.size() : room;
  for (std::size_t i = 0; i < count; ++i) data_[size_ + i] = text[i];
  size_ += count;
  if (count < text.size()) truncated_ = true;
}

void TTextBuffer::AppendOneLine(std::string_view text) {
  for (const char c : text) {
    const char one = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    Append(std::string_view(&one, 1));
  }
}

void TTextBuffer::AppendHex(std::uint64_t value, int digits) {
  char text[2 + 16];
  int count = 0;
  for (int shift = 60; shift >= 0; shift -= 4) {
    const unsigned nibble = static_cast<unsigned>(value >> shift) & 0xF;
    if (count == 0 && nibble == 0 && shift >= digits * 4) continue;
    text[2 + count++] = "0123456789ABCDEF"[nibble];
  }
  text[0] = '0';
  text[1] = 'x';
  Append(std::string_view(text, static_cast<std::size_t>(2 + count)));
}

void TTextBuffer::AppendDecimal(std::uint64_t value) {
  char text[20];
  std::size_t at = sizeof text;
  do {
    text[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  Append(std::string_view(text + at, sizeof text - at));
}

void TTextBuffer::AppendDecimal(std::int64_t value) {
  if (value < 0) {
    Append("-");
    AppendDecimal(static_cast<std::uint64_t>(-(value + 1)) + 1);
    return;
  }
  AppendDecimal(static_cast<std::uint64_t>(value));
}

std::string_view ExceptionName(std::uint32_t code) {
  switch (code) {
    case 0xC0000005: return "Zugriffsverletzung";
    case 0xC0000006: return "Seitenfehler beim Einlesen";
    case 0xC000001D: return "Ungültiger Befehl";
    case 0xC0000096: return "Privilegierter Befehl";
    case 0xC0000094: return "Ganzzahlige Division durch null";
    case 0x80000002: return "Falsch ausgerichtete Daten";
    case 0xC00000FD: return "Stapelüberlauf";
    default: return "unbekannte Ausnahme";
  }
}

void AppendLocation(TTextBuffer& out, std::uint64_t address, std::span<const TModuleInfo> modules) {
  for (const TModuleInfo& module : modules) {
    if (address >= module.base && address - module.base < module.size) {
      out.Append(module.name);
      out.Append("+");
      out.AppendHex(address - module.base, 1);
      return;
    }
  }
  out.AppendHex(address, 16);
}

void AppendDuration(TTextBuffer& out, std::uint32_t milliseconds) {
  static constexpr std::string_view kSmallNumbers[] = {"null", "einer", "zwei", "drei", "vier", "fünf",
                                                       "sechs", "sieben", "acht", "neun", "zehn"};
  if (milliseconds >= 60000 && milliseconds % 60000 == 0) {
    const std::uint32_t minutes = milliseconds / 60000;
    if (minutes < 11) {
      out.Append(kSmallNumbers[minutes]);
    } else {
      out.AppendDecimal(std::uint64_t{minutes});
    }
    out.Append(minutes == 1 ? " Minute" : " Minuten");
    return;
  }
  const std::uint32_t seconds = (milliseconds + 500) / 1000;
  out.AppendDecimal(std::uint64_t{seconds});
  out.Append(seconds == 1 ? " Sekunde" : " Sekunden");
}

void AppendSummary(TTextBuffer& out, const TReportFacts& facts) {
  switch (facts.kind) {
    case TReportKind::Freeze:
      out.Append("Das Plug-in reagiert seit ");
      AppendDuration(out, facts.freezeMs);
      out.Append(" nicht mehr.");
      return;
    case TReportKind::Request:
      out.Append("Ein Fehlerbericht wurde angefordert.");
      return;
    case TReportKind::Exception:
      out.Append("Im Plug-in ist ein unerwarteter Fehler aufgetreten: ");
      if (facts.cppException) {
        out.Append("nicht behandelte C++-Ausnahme in ");
        out.Append(facts.barrier);
        out.Append(".");
        return;
      }
      out.Append(ExceptionName(facts.code));
      out.Append(" bei ");
      AppendLocation(out, facts.address, facts.modules);
      out.Append(".");
      return;
  }
}

namespace {

void Line(TTextBuffer& out, std::string_view key, std::string_view value) {
  out.Append(key);
  out.Append(": ");
  out.AppendOneLine(value);
  out.Append("\n");
}

std::string_view KindName(TReportKind kind) {
  switch (kind) {
    case TReportKind::Exception: return "Ausnahme";
    case TReportKind::Freeze: return "Einfrieren";
    case TReportKind::Request: return "Anfrage";
  }
  return "Ausnahme";
}

void AppendException(TTextBuffer& out, const TReportFacts& facts) {
  if (facts.cppException) {
    out.Append("Ausnahme: C++-Ausnahme");
    if (!facts.cppWhat.empty()) {
      out.Append(" (");
      out.AppendOneLine(facts.cppWhat.substr(0, 200));
      out.Append(")");
    }
    out.Append("\n");
    Line(out, "Barriere", facts.barrier);
  } else {
    out.Append("Ausnahme: ");
    out.AppendHex(facts.code, 8);
    out.Append(" ");
    out.Append(ExceptionName(facts.code));
    out.Append("\nAdresse: ");
    AppendLocation(out, facts.address, facts.modules);
    out.Append("\n");
    if (facts.hasAccess) {
      out.Append("Zugriff: ");
      out.Append(facts.accessKind == 1 ? "Schreiben" : facts.accessKind == 8 ? "Ausführen" : "Lesen");
      out.Append(" bei ");
      out.AppendHex(facts.accessAddress, 16);
      out.Append("\n");
    }
  }
}

void AppendThread(TTextBuffer& out, const TReportFacts& facts) {
  out.Append("Thread: ");
  out.AppendDecimal(std::uint64_t{facts.threadId});
  out.Append(facts.hostThread ? " (Oberflächen-Thread des Programms)\n" : " (anderer Thread)\n");
}

void AppendRegisters(TTextBuffer& out, const std::uint64_t* registers) {
  // Four to a line, so that the lines stay readable.
  for (std::size_t i = 0; i < kRegisterCount; ++i) {
    if (i % 4 == 0) out.Append("Register: ");
    out.Append(kRegisterNames[i]);
    out.Append("=");
    out.AppendHex(registers[i], 16);
    out.Append(i % 4 == 3 || i + 1 == kRegisterCount ? "\n" : " ");
  }
}

}  // namespace

void AppendReport(TTextBuffer& out, const TReportFacts& facts) {
  out.Append(kReportStart);
  out.Append(KindName(facts.kind));
  out.Append(" ");
  out.AppendOneLine(facts.time);
  out.Append("\n");
  out.Append("Zusammenfassung: ");
  AppendSummary(out, facts);
  out.Append("\n");
  Line(out, "Bibliothek", facts.libraryPath);
  Line(out, "Bibliotheksversion", facts.libraryVersion.empty() ? "unbekannt" : facts.libraryVersion);
  out.Append("Bibliotheksbasis: ");
  out.AppendHex(facts.libraryBase, 16);
  out.Append("\n");
  Line(out, "Programm", facts.hostPath);
  Line(out, "Programmversion", facts.hostVersion.empty() ? "unbekannt" : facts.hostVersion);
  Line(out, "Windows", facts.windowsVersion);
  if (!facts.wineVersion.empty()) Line(out, "Wine", facts.wineVersion);

  switch (facts.kind) {
    case TReportKind::Exception:
      AppendException(out, facts);
      break;
    case TReportKind::Freeze:
      out.Append("Keine Antwort seit: ");
      out.AppendDecimal(std::uint64_t{facts.freezeMs});
      out.Append(" ms\n");
      break;
    case TReportKind::Request:
      Line(out, "Grund", facts.reason.empty() ? "(keiner)" : facts.reason);
      break;
  }
  AppendThread(out, facts);
  if (facts.registers) AppendRegisters(out, facts.registers);
  for (const std::uint64_t frame : facts.stack) {
    out.Append("Aufruf: ");
    AppendLocation(out, frame, facts.modules);
    out.Append("\n");
  }
  for (const TModuleInfo& module : facts.modules) {
    out.Append("Modul: ");
    out.AppendHex(module.base, 16);
    out.Append(" ");
    out.AppendOneLine(module.path.empty() ? module.name : module.path);
    out.Append(" ");
    out.Append(module.version.empty() ? "(ohne Version)" : module.version);
    out.Append("\n");
  }
  Line(out, "Letzte Aktion", facts.lastAction.empty() ? "keine" : facts.lastAction);
  out.Append("Textlänge: ");
  if (facts.textLength < 0) {
    out.Append("unbekannt");
  } else {
    out.AppendDecimal(facts.textLength);
  }
  out.Append("\n\n");
}

}  // namespace tavi::crash
