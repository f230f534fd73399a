// The toolbox: TMyTools, a stateless helper class with one shared instance,
// MyTools, that lives from the library's load to its unload. The compression
// (dialog/Compression.h) uses its progress percentage; the text and number
// operations serve the rest of the library's code.
//
// Texts are UTF-16 code units; positions count from 1 and lengths in code
// units. A "space" is U+0020 only. Out-of-range positions and counts never
// fail: a substring (text, index, count) takes an index below 1 as 1, gives
// the empty text for an index past the end or a count of 0 or less, and stops
// at the end of the text. The text and number operations may be called from
// any thread; the system operations belong on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
// The COM wide string and a window handle, declared exactly as <wtypes.h>
// and <windef.h> do (OLECHAR is wchar_t; handles are STRICT), so that this
// header does not drag <windows.h> into the core.
typedef wchar_t* BSTR;
struct HWND__;
typedef HWND__* HWND;
#endif

namespace tavi {

class TMyTools {
 public:
  // How far CurrValue has come from StartValue towards EndValue, in percent,
  // rounded half to even; 100 for an empty span or a value below the start.
  // Not clamped: past EndValue it gives more than 100.
  std::int32_t CalculateGauge(std::int32_t CurrValue, std::int32_t StartValue,
                              std::int32_t EndValue) const;

  // --- Text operations -----------------------------------------------------

  // Ganz_String without any space; tabs, line breaks and no-break spaces stay.
  std::u16string TrimAll(std::u16string_view Ganz_String) const;
#ifdef _WIN32
  // The same on a COM string. A null BSTR is the empty text. The result is a
  // new BSTR that the caller frees with SysFreeString; null only when the
  // system is out of memory.
  BSTR TrimAll(BSTR Ganz_String) const;
#endif

  // Splits Source into two lines of at most reqLength code units: at a space
  // that lets both sides fit (the first space if it does, else the last one
  // that does), otherwise by cutting after reqLength - 1 code units and
  // ending Dest with "-", Dest1 then taking the next reqLength code units and
  // the rest being dropped. Source may be the same variable as Dest or Dest1.
  void SplitString(std::u16string_view Source, std::u16string& Dest, std::u16string& Dest1,
                   std::int32_t reqLength) const;

  // S padded with spaces on both sides (the left one getting the odd one) to
  // MaxLength + 1 code units, at most 255; S unchanged when it already has
  // MaxLength or more code units.
  std::u16string CenterStr(std::u16string_view S, std::int32_t MaxLength) const;

  // The shortest repetition of C longer than Count code units: a single
  // character comes Count + 1 times. Empty for a Count below 0 or an empty C.
  std::u16string RepeatChar(std::u16string_view C, std::int32_t Count) const;

  // Anzahl spaces; empty for 0 or less.
  std::u16string Spaces(std::int32_t Anzahl) const;

  // "a" to "z" and ä, ö, ü in capitals; everything else (ß included) as is.
  std::u16string Upper(std::u16string_view String_Wert) const;

  // A key of the same length made of "A" to "Z" only: letters in capitals,
  // the umlauts and ß as their base letter, every other code unit as "A".
  std::u16string UpperExt(std::u16string_view String_Wert) const;

  // The first Anzahl_von_Links, the last Anzahl_von_Rechts, and Laenge from
  // Pos_Mitte on, by the substring rule above.
  std::u16string LeftStr(std::u16string_view Ganz_String, std::int32_t Anzahl_von_Links) const;
  std::u16string RightStr(std::u16string_view Ganz_String, std::int32_t Anzahl_von_Rechts) const;
  std::u16string MidStr(std::u16string_view Ganz_String, std::int32_t Pos_Mitte,
                        std::int32_t Laenge) const;

  // --- Number and size formatting -----------------------------------------
  // Grouped texts put GroupSeparator() in front of every third digit from the
  // right, never in front of the first digit or between "-" and a digit.

  // The decimal text of Value, grouped: 1234567 gives "1.234.567".
  std::u16string CurrencyPointInsert(std::int64_t Value) const;
  // The same through a double-precision conversion. Values of 10^15 and more
  // in magnitude, which would come out in exponent form, give the grouped
  // exact digits of Value, so the result always equals CurrencyPointInsert.
  std::u16string CurrencyPointInsertcomp(std::int64_t Value) const;
  // LeadingZero(Value), grouped: "00" to "09" for 0 to 9.
  std::u16string CurrencyPointInsert00(std::int64_t Value) const;

  // A byte count and its unit, "Byte" up to 999,999, "KByte" (÷ 1024) up to
  // 9,999,999, "MByte" (÷ 1,048,576) beyond, the remainder dropped; a number
  // of 0 or less shows as "0".
  std::u16string B_KB_MB(std::int64_t Value) const;
  // The same with the divisions rounded half to even; the "Byte" band is -1
  // to 999,999, lower values fall into "MByte", and an "MByte" count that
  // rounds to 0 is shown in "Byte".
  std::u16string B_KB_MBcomp(std::int64_t Value) const;

  // The decimal text of w, with a "0" in front when it is one character.
  std::u16string LeadingZero(std::int64_t w) const;
  // The decimal text of w widened with zeros to at least 4 characters, the
  // sign counted; for a negative w the zeros go after the "-", as printf's
  // "%04d" does: -5 gives "-005".
  std::u16string LeadingZero4(std::int64_t w) const;

  // The b lowest bits of a as "0" and "1", the highest first; bits above
  // bit 31 read "0" and a negative a shows its two's complement.
  std::u16string Bin(std::int32_t a, std::int32_t b) const;

  // --- System operations ---------------------------------------------------

  // A new random 8.3 name, 12 characters: 8, ".", 3, each one of the 63
  // characters "0"-"9", "A"-"Z" and "a"-"{" with equal chance. It is not
  // checked against existing files. Draws from the library's one generator,
  // seeded from the clock at load: user-interface thread only.
  std::u16string RandomFileName() const;

#ifdef _WIN32
  // Starts a program: first with Cmd as the program file and CmdLine as the
  // command line, and when that fails with no program file and the command
  // line Cmd + " " + CmdLine, which finds a program without a path along the
  // search path. Either may be null (the empty text in the joined line). The
  // command line is copied before the start, so it may be read-only. With
  // Wait, blocks (without processing messages) until the program waits for
  // input, at most two minutes. Keeps no handle; false when nothing started.
  bool WinExecEx(const char16_t* Cmd, const char16_t* CmdLine, std::int32_t CmdShow,
                 bool Wait) const;

  // The size in bytes of the first entry matching FileName, which may hold
  // "*" and "?"; -1 when nothing matches, when that entry is a directory, and
  // for a name holding a NUL, which no file can have.
  std::int64_t GetFileSize(std::u16string_view FileName) const;

  // String resource ResID of the module that holds this code (the DLL in the
  // plug-in, the program when linked into one), at most 1023 code units,
  // formatted with InsertValue by FormatOneText (ResourceFormat.h), which
  // may throw TConvertError. The empty text when the module lacks it; string
  // resource numbers are 0 to 65535.
  std::u16string LoadStrResource(std::int32_t ResID, std::u16string_view InsertValue) const;

  // Pauses about msecs milliseconds (at least one 10 ms sleep) while the
  // window messages of this thread are processed, so handlers, this one
  // included, may run inside; returns at once when a quit message arrives,
  // and posts the quit again so that the application's own loop still ends.
  void Delay(std::uint32_t msecs) const;

  // The 0-based index of the first selected item of the list box List,
  // single or multiple selection; -1 for none, an empty list or no list box.
  std::int32_t GetFirstSelection(HWND List) const;
#endif
};

// The one shared instance; set before any other module of the library runs.
extern TMyTools* MyTools;

// The locale's separators, read from the user's locale when the library
// loads ("." for each when the locale gives none). The number texts use
// them; the setters exist for tests that need known separators.
char16_t GroupSeparator();
void SetGroupSeparator(char16_t Separator);
char16_t DecimalSeparator();
void SetDecimalSeparator(char16_t Separator);

}  // namespace tavi
