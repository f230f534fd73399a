// The compression run on arbitrary text: it never crashes, never makes the
// text longer, and agrees with the step-by-step model of the tests in the
// text and in every call it makes to the window.
//
// Each input byte picks a token, so that the fuzzer reaches section tags,
// tag gaps and line breaks far sooner than from raw code units.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "dialog/Compression.h"
#include "dialog/CompressionModel.h"
#include "dialog/FakeView.h"

namespace {

constexpr std::u16string_view kTokens[] = {
    u" ",        u"  ",        u"\r",     u"\n",      u"\r\n",      u"\t",    u"=",        u"<",
    u">",        u"a",         u"A",      u"x",       std::u16string_view(u"\0", 1), u"\u00e4", u"<script", u"<SCRIPT",
    u"</script>", u"</SCRIPT>", u"<Script>", u"</script >", u"<pre",   u"<PRE>", u"</pre>",   u"</Pre>",
    u"<a href>", u"> <",       u"> <a",   u"<p>",     u"</p>",      u"<preview>", u"\xD800", u"\u00a0",
};
constexpr std::size_t kTokenCount = std::size(kTokens);

std::u16string TextFrom(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i < size; ++i) text += kTokens[data[i] % kTokenCount];
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The model is quadratic; a few hundred tokens reach every rule.
  size = std::min<std::size_t>(size, 400);
  const std::u16string source = TextFrom(data, size);

  std::u16string fast = source;
  tavi::FakeView fastView;
  tavi::TCompressionRun(fastView).DoCompress(fast);

  std::u16string slow = source;
  tavi::FakeView slowView;
  tavi::model::TCompressionModel(slowView).DoCompress(slow);

  if (fast.size() > source.size()) std::abort();
  if (fast != slow) std::abort();
  if (fastView.calls != slowView.calls) std::abort();
  return 0;
}
