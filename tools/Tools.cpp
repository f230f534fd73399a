#include "tools/Tools.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>

#include "tools/NumberText.h"
#include "tools/ToolsLocale.h"

namespace tavi {

namespace {

// Constant-initialised, so they hold "." even before the owner below has
// read the locale.
std::atomic<char16_t> gGroupSeparator{u'.'};
std::atomic<char16_t> gDecimalSeparator{u'.'};

// The one random generator of the library, seeded from the clock at load.
// Both clocks go into the seed, so that two processes started within one
// tick of the wall clock still differ.
std::mt19937 ClockSeededGenerator() {
  const auto wall = static_cast<std::uint64_t>(
      std::chrono::system_clock::now().time_since_epoch().count());
  const auto steady = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  std::seed_seq seed{static_cast<std::uint32_t>(wall), static_cast<std::uint32_t>(wall >> 32),
                     static_cast<std::uint32_t>(steady), static_cast<std::uint32_t>(steady >> 32)};
  return std::mt19937(seed);
}

// Created before, and freed after, every module that may use it: the
// init_priority puts it ahead of all ordinary static objects of the library.
// It also holds the library's random generator, ready from load on.
struct TMyToolsOwner {
  TMyTools instance;
  std::mt19937 random = ClockSeededGenerator();
  TMyToolsOwner() {
    const LocaleSeparators separators = ReadUserLocaleSeparators();
    SetGroupSeparator(separators.Group);
    SetDecimalSeparator(separators.Decimal);
    MyTools = &instance;
  }
  ~TMyToolsOwner() { MyTools = nullptr; }
};

// Substring (Text, Index, Count) with positions from 1 and every number out
// of range absorbed; 64-bit so that Index + Count cannot overflow.
std::u16string_view Substring(std::u16string_view Text, std::int64_t Index, std::int64_t Count) {
  if (Count <= 0) return {};
  if (Index < 1) Index = 1;
  const auto size = static_cast<std::int64_t>(Text.size());
  if (Index > size) return {};
  return Text.substr(static_cast<std::size_t>(Index - 1),
                     static_cast<std::size_t>(std::min(Count, size - Index + 1)));
}

}  // namespace

TMyTools* MyTools = nullptr;
__attribute__((init_priority(200))) static TMyToolsOwner gMyToolsOwner;

namespace {
// 0 to 254, uniformly, from the library's generator.
int Draw0To254() { return std::uniform_int_distribution<int>(0, 254)(gMyToolsOwner.random); }
}  // namespace

char16_t GroupSeparator() { return gGroupSeparator.load(std::memory_order_relaxed); }
void SetGroupSeparator(char16_t Separator) {
  gGroupSeparator.store(Separator, std::memory_order_relaxed);
}
char16_t DecimalSeparator() { return gDecimalSeparator.load(std::memory_order_relaxed); }
void SetDecimalSeparator(char16_t Separator) {
  gDecimalSeparator.store(Separator, std::memory_order_relaxed);
}

std::int32_t TMyTools::CalculateGauge(std::int32_t CurrValue, std::int32_t StartValue,
                                      std::int32_t EndValue) const {
  const std::int64_t span = std::int64_t{EndValue} - StartValue;
  const std::int64_t done = std::int64_t{CurrValue} - StartValue;
  if (span == 0 || done < 0) return 100;
  // The product is formed in 64 bits so that any 32-bit span gives the true
  // percentage; it stays below 2^40, so the double division is exact enough.
  const double percent = static_cast<double>(done * 100) / static_cast<double>(span);
  return static_cast<std::int32_t>(number_text::RoundHalfEven(percent));
}

// --- Text operations -------------------------------------------------------

std::u16string TMyTools::TrimAll(std::u16string_view Ganz_String) const {
  std::u16string result;
  result.reserve(Ganz_String.size());
  for (char16_t c : Ganz_String)
    if (c != u' ') result.push_back(c);
  return result;
}

void TMyTools::SplitString(std::u16string_view Source, std::u16string& Dest,
                           std::u16string& Dest1, std::int32_t reqLength) const {
  // Both lines are built before either variable is written, because Source
  // may be a view of one of them.
  const auto length = static_cast<std::int64_t>(Source.size());
  const std::int64_t width = reqLength;
  std::u16string first;
  std::u16string second;
  const auto splitAt = [&](std::int64_t space) {
    first = Substring(Source, 1, space - 1);
    second = Substring(Source, space + 1, length);
  };

  bool cut = false;
  if (length == 0) {
    // Two empty lines.
  } else if (length > 2 * width) {
    cut = true;
  } else if (const std::size_t found = Source.find(u' '); found == Source.npos) {
    cut = true;
  } else if (const auto p = static_cast<std::int64_t>(found) + 1;
             p <= width && length - p <= width) {
    // The first space wins when both sides fit, even if that leaves the
    // first line empty.
    splitAt(p);
  } else {
    // Otherwise the last space with both sides fitting: q <= width and
    // q >= length - width.
    const std::int64_t lowest = std::max<std::int64_t>(1, length - width);
    for (std::int64_t q = std::min(width, length); q >= lowest; --q) {
      if (Source[static_cast<std::size_t>(q - 1)] == u' ') {
        splitAt(q);
        break;
      }
    }
    cut = first.empty();
  }
  if (cut) {
    first = Substring(Source, 1, width - 1);
    first.push_back(u'-');
    second = Substring(Source, width, width);
  }
  Dest = std::move(first);
  Dest1 = std::move(second);
}

std::u16string TMyTools::CenterStr(std::u16string_view S, std::int32_t MaxLength) const {
  constexpr std::int64_t kLongestPadded = 255;
  const auto length = static_cast<std::int64_t>(S.size());
  const std::int64_t target = std::min(std::int64_t{MaxLength} + 1, kLongestPadded);
  if (length >= MaxLength || length >= target) return std::u16string(S);
  // Spaces go in front and behind in turn, front first, so an odd number
  // leaves the extra one in front.
  const std::int64_t added = target - length;
  const auto front = static_cast<std::size_t>((added + 1) / 2);
  const auto back = static_cast<std::size_t>(added / 2);
  std::u16string result;
  result.reserve(static_cast<std::size_t>(target));
  result.append(front, u' ').append(S).append(back, u' ');
  return result;
}

std::u16string TMyTools::RepeatChar(std::u16string_view C, std::int32_t Count) const {
  // An empty C could never grow past Count; it gives the empty text.
  if (Count < 0 || C.empty()) return {};
  const std::size_t copies = static_cast<std::size_t>(Count) / C.size() + 1;
  std::u16string result;
  result.reserve(copies * C.size());
  for (std::size_t i = 0; i < copies; ++i) result.append(C);
  return result;
}

std::u16string TMyTools::Spaces(std::int32_t Anzahl) const {
  if (Anzahl <= 0) return {};
  return std::u16string(static_cast<std::size_t>(Anzahl), u' ');
}

std::u16string TMyTools::Upper(std::u16string_view String_Wert) const {
  std::u16string result(String_Wert);
  for (char16_t& c : result) {
    if ((c >= u'a' && c <= u'z') || c == u'ä' || c == u'ö' || c == u'ü')
      c = static_cast<char16_t>(c - 0x20);  // Latin-1 keeps both cases 0x20 apart.
  }
  return result;
}

std::u16string TMyTools::UpperExt(std::u16string_view String_Wert) const {
  std::u16string result(String_Wert);
  for (char16_t& c : result) {
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - 0x20);
    else if (c == u'ä' || c == u'Ä')
      c = u'A';
    else if (c == u'ö' || c == u'Ö')
      c = u'O';
    else if (c == u'ü' || c == u'Ü')
      c = u'U';
    else if (c == u'ß')
      c = u'S';
    else if (c < u'A' || c > u'Z')
      c = u'A';
  }
  return result;
}

std::u16string TMyTools::LeftStr(std::u16string_view Ganz_String,
                                 std::int32_t Anzahl_von_Links) const {
  return std::u16string(Substring(Ganz_String, 1, Anzahl_von_Links));
}

std::u16string TMyTools::RightStr(std::u16string_view Ganz_String,
                                  std::int32_t Anzahl_von_Rechts) const {
  const auto length = static_cast<std::int64_t>(Ganz_String.size());
  return std::u16string(Substring(Ganz_String, length - Anzahl_von_Rechts + 1, Anzahl_von_Rechts));
}

std::u16string TMyTools::MidStr(std::u16string_view Ganz_String, std::int32_t Pos_Mitte,
                                std::int32_t Laenge) const {
  return std::u16string(Substring(Ganz_String, Pos_Mitte, Laenge));
}

// --- Number and size formatting --------------------------------------------

std::u16string TMyTools::CurrencyPointInsert(std::int64_t Value) const {
  return number_text::Grouped(number_text::DecimalText(Value), GroupSeparator());
}

std::u16string TMyTools::CurrencyPointInsertcomp(std::int64_t Value) const {
  // Below 10^15 the double holds the value exactly and its general text is
  // the decimal text. From there on the general text turns to exponent form,
  // which cannot be grouped, and the double would also invent digits past
  // 2^53; the exact digits of Value are the honest text.
  constexpr std::int64_t kExponentFrom = 1'000'000'000'000'000;
  const std::u16string text =
      Value > -kExponentFrom && Value < kExponentFrom
          ? number_text::GeneralText(static_cast<double>(Value), DecimalSeparator())
          : number_text::DecimalText(Value);
  return number_text::Grouped(text, GroupSeparator());
}

std::u16string TMyTools::CurrencyPointInsert00(std::int64_t Value) const {
  return number_text::Grouped(LeadingZero(Value), GroupSeparator());
}

std::u16string TMyTools::B_KB_MB(std::int64_t Value) const {
  // Decimal band limits with binary divisors: the KByte band shows 976 to
  // 9,765 and the MByte band starts at 9.
  std::int64_t number = Value;
  const char16_t* unit = u" Byte";
  if (Value >= 10'000'000) {
    number = Value / 1'048'576;
    unit = u" MByte";
  } else if (Value >= 1'000'000) {
    number = Value / 1'024;
    unit = u" KByte";
  }
  return (number > 0 ? CurrencyPointInsert(number) : std::u16string(u"0")) + unit;
}

std::u16string TMyTools::B_KB_MBcomp(std::int64_t Value) const {
  if (Value >= -1 && Value <= 999'999)
    return (Value > 0 ? CurrencyPointInsert(Value) : std::u16string(u"0")) + u" Byte";

  double number = 0;
  const char16_t* unit = u" KByte";
  if (Value >= 1'000'000 && Value <= 9'999'999) {
    number = number_text::RoundHalfEven(static_cast<double>(Value) / 1'024.0);
  } else {
    // Everything else, values below -1 included, is counted in MByte; a
    // count that rounds to nothing is shown as bytes.
    number = number_text::RoundHalfEven(static_cast<double>(Value) / 1'048'576.0);
    unit = number == 0 ? u" Byte" : u" MByte";
  }
  // |Value| / 2^20 is below 2^44, so the rounded count converts exactly.
  return (number > 0 ? CurrencyPointInsertcomp(static_cast<std::int64_t>(number))
                     : std::u16string(u"0")) +
         unit;
}

std::u16string TMyTools::LeadingZero(std::int64_t w) const {
  std::u16string text = number_text::DecimalText(w);
  if (text.size() == 1) text.insert(text.begin(), u'0');
  return text;
}

std::u16string TMyTools::LeadingZero4(std::int64_t w) const {
  constexpr std::size_t kWidth = 4;
  std::u16string text = number_text::DecimalText(w);
  if (text.size() < kWidth) {
    // Zeros in front of a minus sign ("00-5") would not read as a number;
    // they go between the sign and the digits, the width still counting it.
    text.insert(w < 0 ? 1 : 0, kWidth - text.size(), u'0');
  }
  return text;
}

std::u16string TMyTools::Bin(std::int32_t a, std::int32_t b) const {
  if (b <= 0) return {};
  const auto length = static_cast<std::size_t>(b);
  std::u16string result(length, u'0');
  const auto bits = static_cast<std::uint32_t>(a);
  // Past bit 31 the unsigned shift has only zeros left to bring in.
  for (std::size_t i = 0; i < length && i < 32; ++i)
    if ((bits >> i) & 1u) result[length - 1 - i] = u'1';
  return result;
}

// --- System operations -----------------------------------------------------

std::u16string TMyTools::RandomFileName() const {
  // Drawn from 0 to 254 and only the 63 accepted codes kept, so each of them
  // is equally likely; "{" is the code after "z".
  const auto accepted = [](int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= '{');
  };
  constexpr std::size_t kCharacters = 11;
  std::u16string name;
  name.reserve(kCharacters + 1);
  while (name.size() < kCharacters) {
    const int c = Draw0To254();
    if (accepted(c)) name.push_back(static_cast<char16_t>(c));
  }
  name.insert(name.begin() + 8, u'.');
  return name;
}

}  // namespace tavi
