// ConvertSpecialChars on arbitrary UTF-16: the count is the number of table
// code units, and decoding the entities again gives back the source.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "html/HTMTools.h"

namespace {

// The source back from a result: every entity of the table, and nothing
// else, turns into its code unit. Plain "&" of the source stays as it is
// (unless the markup rows are on, when it was written as "&amp;").
struct TRow {
  std::u16string_view entity;
  char16_t unit;
};

std::vector<TRow> Rows(bool markup, const tavi::TCharCodeSet& chars) {
  std::vector<TRow> rows;
  for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
    const std::u16string_view entity = tavi::EntityFor(static_cast<char16_t>(u), markup, chars);
    if (!entity.empty()) rows.push_back({entity, static_cast<char16_t>(u)});
  }
  return rows;
}

std::u16string Decode(std::u16string_view result, const std::vector<TRow>& rows) {
  std::u16string source;
  std::size_t i = 0;
  while (i < result.size()) {
    bool matched = false;
    if (result[i] == u'&') {
      for (const TRow& row : rows) {
        if (result.substr(i, row.entity.size()) == row.entity) {
          source.push_back(row.unit);
          i += row.entity.size();
          matched = true;
          break;
        }
      }
    }
    if (!matched) source.push_back(result[i++]);
  }
  return source;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool markup = data[0] & 1;
  tavi::TCharCodeSet chars;
  if (data[0] & 2) chars.set('&');
  if (data[0] & 4) chars.set('<');
  if (data[0] & 8) chars.set('>');
  std::u16string source((size - 1) / 2, u'\0');
  std::memcpy(source.data(), data + 1, source.size() * 2);

  std::int32_t count = -1;
  const std::u16string result = tavi::ConvertSpecialChars(count, source, markup, chars);

  std::int32_t expected = 0;
  for (char16_t c : source) expected += tavi::EntityFor(c, markup, chars).empty() ? 0 : 1;
  if (count != expected) std::abort();
  // With "&" not converted, an "&" of the source could read as an entity
  // on the way back; the round trip holds when the source has none.
  const bool ampersandSafe = (markup && chars.test('&')) || source.find(u'&') == std::u16string::npos;
  static std::vector<TRow> rows[16];
  static bool made[16] = {};
  const int rule = data[0] & 15;
  if (!made[rule]) rows[rule] = Rows(markup, chars), made[rule] = true;
  if (ampersandSafe && Decode(result, rows[rule]) != source) std::abort();
  return 0;
}
