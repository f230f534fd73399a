#include "dialog/Compression.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialog/CompressionModel.h"
#include "dialog/FakeView.h"
#include "FailingAllocator.h"

namespace tavi {
namespace {

using test::gAllocationsLeft;

using Calls = std::vector<std::string>;

// Everything a run shows of itself: the text, and every call to the window
// in order (progress positions, message processing, labels, boxes).
struct Outcome {
  std::u16string text;
  bool changed = false;
  Calls calls;
  bool operator==(const Outcome&) const = default;
};

std::string Show(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    switch (c) {
      case u'\r': out += "\\r"; break;
      case u'\n': out += "\\n"; break;
      case u'\t': out += "\\t"; break;
      case u'\0': out += "\\0"; break;
      default:
        if (c < 0x80) {
          out += static_cast<char>(c);
        } else {
          out += "\\u" + std::to_string(static_cast<unsigned>(c));
        }
    }
  }
  return "'" + out + "'";
}

std::string Show(const Calls& calls) {
  std::string out;
  for (const std::string& c : calls) out += "  " + c + "\n";
  return out;
}

// A view that fails at its call number failAt (0-based), once; -1 never.
void FailAt(FakeView& view, int failAt, std::string* failed = nullptr) {
  if (failAt < 0) return;
  view.before = [failAt, failed, seen = 0](const std::string& line) mutable {
    if (seen++ == failAt) {
      if (failed != nullptr) *failed = line;
      throw std::runtime_error("window call failed");
    }
  };
}

template <typename Run>
Outcome Document(std::u16string text, int failAt = -1, std::string* failed = nullptr) {
  FakeView view;
  FailAt(view, failAt, failed);
  Run run(view);
  run.DoCompress(text);
  return {text, false, view.calls};
}

template <typename Run>
Outcome Block(std::u16string block, int failAt = -1) {
  FakeView view;
  FailAt(view, failAt);
  Run run(view);
  bool changed = true;
  run.CompressBlock(block, changed);
  return {block, changed, view.calls};
}

const std::string kScriptMessage = "Fehler: Im Text fehlt das Ende des Scripts! Bearbeitung abgebrochen!";
const std::string kPreMessage = "Fehler: Im Text fehlt das Ende des Pre-Bereichs! Bearbeitung abgebrochen!";

using Fast = TCompressionRun;
using Model = model::TCompressionModel;

void ExpectSame(const std::u16string& input, const Outcome& fast, const Outcome& slow, const std::string& what) {
  EXPECT_EQ(fast.text, slow.text) << what << " input " << Show(input) << "\nfast " << Show(fast.text) << "\nmodel "
                                  << Show(slow.text);
  EXPECT_EQ(fast.changed, slow.changed) << what << " input " << Show(input);
  EXPECT_EQ(fast.calls, slow.calls) << what << " input " << Show(input) << "\nfast calls:\n"
                                    << Show(fast.calls) << "model calls:\n"
                                    << Show(slow.calls);
}

// --- Generated inputs --------------------------------------------------------------

// Texts built from the characters and tags the rules look at, in every mix.
class TextGenerator {
 public:
  explicit TextGenerator(unsigned seed) : random_(seed) {}

  std::u16string Next(int maxTokens) {
    static const std::u16string_view kTokens[] = {
        u" ", u"  ", u"   ", u"\r", u"\n", u"\r\n", u"\t", u"=", u"<", u">", u"a", u"A", u"x", u"b", u"\u00e4",
        std::u16string_view(u"\0", 1), u"\x01", u"> <", u"> <a", u"> <A", u"><", u"<p>", u"</p>", u" <b> ",
        u"<script>", u"</script>", u"<SCRIPT>", u"</SCRIPT>", u"<ScRiPt src=\"x.js\">", u"</sCrIpT>",
        u"</script >", u"<script", u"</script", u"<pre>", u"</pre>", u"<PRE class=a>", u"</Pre>", u"<pre",
        u"</pre", u"<preview>", u"<Pre\n>", u"\r\n  <div>", u"\n\t<td> </td>", u"s", u"p", u"/", u"e"};
    constexpr int kCount = static_cast<int>(sizeof kTokens / sizeof kTokens[0]);
    std::uniform_int_distribution<int> tokens(0, maxTokens);
    // Each text leans on a few tokens, so runs of one kind happen too.
    std::uniform_int_distribution<int> pick(0, kCount - 1);
    const int favourites[3] = {pick(random_), pick(random_), pick(random_)};
    std::uniform_int_distribution<int> choice(0, 5);
    std::u16string text;
    for (int i = tokens(random_); i > 0; --i) {
      const int c = choice(random_);
      text += kTokens[c < 3 ? favourites[c] : pick(random_)];
    }
    return text;
  }

 private:
  std::mt19937 random_;
};

TEST(Compression, DocumentsAgreeWithTheStepByStepModel) {
  TextGenerator generator(20261210);
  // The generated texts must reach every way a run can end.
  int replaced = 0, kept = 0, lowered = 0, scriptEnd = 0, preEnd = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::u16string input = generator.Next(i % 10 == 0 ? 120 : 24);
    const Outcome fast = Document<Fast>(input);
    const Outcome slow = Document<Model>(input);
    ExpectSame(input, fast, slow, "document " + std::to_string(i));
    if (HasFailure()) return;
    const bool sections = fast.text.find(u"<script") != std::u16string::npos;
    replaced += fast.text != input;
    kept += fast.text == input && sections;
    lowered += fast.text != input && input.find(u"<SCRIPT") != std::u16string::npos;
    for (const std::string& call : fast.calls) {
      scriptEnd += call == kScriptMessage;
      preEnd += call == kPreMessage;
    }
  }
  EXPECT_GT(replaced, 1000);
  EXPECT_GT(kept, 100);
  EXPECT_GT(lowered, 100);
  EXPECT_GT(scriptEnd, 100);
  EXPECT_GT(preEnd, 100);
}

TEST(Compression, BlocksAgreeWithTheStepByStepModel) {
  TextGenerator generator(4);
  for (int i = 0; i < 20000; ++i) {
    const std::u16string input = generator.Next(i % 10 == 0 ? 150 : 20);
    const Outcome fast = Block<Fast>(input);
    const Outcome slow = Block<Model>(input);
    ExpectSame(input, fast, slow, "block " + std::to_string(i));
    if (HasFailure()) return;
  }
}

// Long blocks full of tag gaps: each deletion shortens the block, which moves
// the positions at which the percentage changes.
TEST(Compression, LongBlocksShowTheSameProgressAsTheModel) {
  std::mt19937 random(77);
  const std::u16string_view pieces[] = {u"> <", u"> <a", u"x", u"\r\n", u" ", u"<b>", u"  ", u"\t"};
  for (int round = 0; round < 30; ++round) {
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(pieces)) - 1);
    std::uniform_int_distribution<int> length(100, round < 25 ? 3000 : 12000);
    std::u16string input;
    for (int n = length(random); static_cast<int>(input.size()) < n;) input += pieces[pick(random)];
    ExpectSame(input, Block<Fast>(input), Block<Model>(input), "long block " + std::to_string(round));
    if (HasFailure()) return;
  }
}

// --- Block rules ----------------------------------------------------------------------

struct BlockCase {
  const char* name;
  std::u16string input;
  std::u16string expected;
  bool changed;
};

TEST(Compression, BlockRules) {
  const BlockCase cases[] = {
      // Spaces
      {"empty", u"", u"", false},
      {"three spaces", u"   ", u"", true},
      {"one space is trimmed without counting", u" ", u"", false},
      {"run of spaces", u"a   b", u"a b", true},
      {"leading blanks are only collapsed", u"  a", u" a", true},
      {"trailing blanks are trimmed without counting", u"abc \t", u"abc", true},
      {"trailing control characters and NUL", std::u16string(u"abc\x01\0", 5), u"abc", false},
      {"inner NUL is a character", std::u16string(u"a\0b", 3), std::u16string(u"a\0b", 3), false},
      // Line breaks
      {"CR LF between letters", u"a\r\nb", u"a b", true},
      {"CR LF between tags", u"<br>\r\n<p>", u"<br><p>", true},
      {"CR LF before =", u"a\r\n=b", u"a=b", true},
      {"CR LF before a space", u"a\r\n b", u"a b", true},
      {"space before CR LF stays", u"a \r\nb", u"a  b", true},
      {"two CR LF", u"a\r\n\r\nb", u"a  b", true},
      {"CR LF at the end", u"text\r\n", u"text", true},
      {"LF CR", u"a\n\rb", u"a b", true},
      {"lone CR", u"a\rb", u"a b", true},
      {"two lone CR", u"a\r\rb", u"a  b", true},
      {"LF before CR LF", u"a\n\r\nb", u"a b", true},
      {"CR before CR LF", u"a\r\r\nb", u"a b", true},
      {"two LF", u"a\n\nb", u"a  b", true},
      {"LF before >", u"a\n>", u"a>", true},
      {"break before NUL", std::u16string(u"a\n\0b", 4), std::u16string(u"a \0b", 4), true},
      // Tabs
      {"tab", u"a\tb", u"ab", true},
      {"break before tab", u"a\r\n\tb", u"a b", true},
      {"tab between spaces leaves two", u"a \t b", u"a  b", true},
      // Tag gaps
      {"gap between tags", u"<p> <b>", u"<p><b>", true},
      {"gap before a closing tag", u"<td> </td>", u"<td></td>", true},
      {"link keeps its space", u"<p> <a href>", u"<p> <a href>", false},
      {"capital A does not protect", u"<p> <A HREF>", u"<p><A HREF>", true},
      {"gap at the end", u"x> <", u"x><", true},
      {"gap made by a tab", u"<p> \t<b>", u"<p><b>", true},
      {"gap made by a line break", u"<p>\n<b>", u"<p><b>", true},
      {"indented line", u"<ul>\n  <li>", u"<ul><li>", true},
      {"gaps in a row", u"> <> <> <", u"><><><", true},
      {"gap's < is passed over", u"> < <", u">< <", true},
      {"space before a first <", u" <b>", u" <b>", false},
  };
  for (const BlockCase& c : cases) {
    const Outcome fast = Block<Fast>(c.input);
    EXPECT_EQ(fast.text, c.expected) << c.name << ": " << Show(fast.text);
    EXPECT_EQ(fast.changed, c.changed) << c.name;
    ExpectSame(c.input, fast, Block<Model>(c.input), c.name);
  }
}

TEST(Compression, EmptyBlockShowsOneThenTwo) {
  EXPECT_EQ(Block<Fast>(u"").calls, (Calls{"Progress 1", "Progress 2"}));
}

// The per-position percentage of a 100-character block climbs by one per
// position, starting again after the 2 of the line-break steps; every 50th
// position lets messages through.
TEST(Compression, BlockProgressClimbsToHundred) {
  const Outcome fast = Block<Fast>(std::u16string(100, u'x'));
  Calls expected = {"Progress 1", "Progress 2"};
  for (int i = 1; i <= 100; ++i) {
    expected.push_back("Progress " + std::to_string(i));
    if (i == 50 || i == 100) expected.push_back("Process");
  }
  EXPECT_EQ(fast.calls, expected);
}

TEST(Compression, MessagesAreLetThroughOnceForEachKindOfBreakAndTab) {
  const Outcome fast = Block<Fast>(u"a\r\nb\rc\nd\te\r\n");
  const Calls expected = {"Progress 1", "Process", "Process", "Process", "Progress 2", "Process",
                          "Progress 12", "Progress 25", "Progress 38", "Progress 50", "Progress 62",
                          "Progress 75", "Progress 88", "Progress 100"};
  EXPECT_EQ(fast.calls, expected);
  EXPECT_EQ(fast.text, u"a b c de");
}

// --- Document rules --------------------------------------------------------------------

struct DocumentCase {
  const char* name;
  std::u16string input;
  std::u16string expected;
  std::vector<std::string> messages;
};


TEST(Compression, DocumentRules) {
  const DocumentCase cases[] = {
      // Without sections
      {"empty", u"", u"", {}},
      {"three spaces", u"   ", u"", {}},
      {"one space stays", u" ", u" ", {}},
      {"trim alone is no change", u"abc ", u"abc ", {}},
      {"line break", u"a\r\nb", u"a b", {}},
      {"NUL does not cut the result", std::u16string(u"a\0  b  c", 8), std::u16string(u"a\0 b c", 6), {}},
      {"lone closing tag keeps its case", u"a  </SCRIPT>", u"a </SCRIPT>", {}},
      {"lone closing pre keeps its case", u"a  </PRE>", u"a </PRE>", {}},
      // Missing ends
      {"pre without end", u"<pre>  x", u"<pre>  x", {kPreMessage}},
      {"script without end", u"<script>  x", u"<script>  x", {kScriptMessage}},
      {"closing with a blank is none", u"<script>x</script >", u"<script>x</script >", {kScriptMessage}},
      {"preview opens a pre section", u"a  <preview>", u"a  <preview>", {kPreMessage}},
      {"pre before a script without end", u"<pre><script>x</script></pre>", u"<pre><script>x</script></pre>",
       {kPreMessage}},
      {"pre end missing in the rest", u"<script>x</script>  <pre>", u"<script>x</script>  <pre>", {kPreMessage}},
      // Sections
      {"closing before the opening", u"a </script>b<script>c  d", u"a </script>b<script>c d", {}},
      {"capital tags are lowered", u"<SCRIPT>x</SCRIPT>  y", u"<script>x</script>y", {}},
      {"capital tags alone change nothing", u"<SCRIPT>x</SCRIPT>", u"<SCRIPT>x</SCRIPT>", {}},
      {"mixed-case pre tags", u"x  y<Pre>a  b</PRE>", u"x y<pre>a  b</pre>", {}},
      {"script ends at the first end", u"<script>a<script>b</script>c  </script>",
       u"<script>a<script>b</script>c </script>", {}},
      {"pre inside a script is not looked at", u"z  <script>x<pre>  y</script>", u"z<script>x<pre>  y</script>", {}},
      {"blanks around a script go", u"a <script>x</script>  b", u"a<script>x</script>b", {}},
      {"blank before pre goes", u"a <pre> x  y </pre> b", u"a<pre> x  y </pre> b", {}},
      {"first piece's change is enough", u"a  b<script>x</script><pre>p</pre><script>y</script>",
       u"a b<script>x</script><pre>p</pre><script>y</script>", {}},
      {"trim alone in a pre piece replaces", u"<script>x</script><pre>p</pre>b ", u"<script>x</script><pre>p</pre>b",
       {}},
      {"tags lowered inside sections", u"a  <SCRIPT>'<PRE>'</SCRIPT>", u"a<script>'<pre>'</script>", {}},
      {"eight-character script section", u"</script>x<script> \r\ny  z", u"</script>x<script>y z", {}},
      {"five-character pre section", u"</pre>x<pre\r\ny  z", u"</pre>x<pre\r y z", {}},
  };
  for (const DocumentCase& c : cases) {
    FakeView view;
    std::u16string text = c.input;
    TCompressionRun(view).DoCompress(text);
    EXPECT_EQ(text, c.expected) << c.name << ": " << Show(text);
    EXPECT_EQ(view.messages, c.messages) << c.name;
    EXPECT_FALSE(view.Visible(TLabel::ScriptLabel)) << c.name;
    EXPECT_FALSE(view.Visible(TLabel::PreLabel)) << c.name;
    ExpectSame(c.input, Document<Fast>(c.input), Document<Model>(c.input), c.name);
  }
}

TEST(Compression, EmptyTextOnlyResetsTheBarAndHidesTheLabels) {
  EXPECT_EQ(Document<Fast>(u"").calls, (Calls{"Progress 0", "ScriptLabel hidden", "PreLabel hidden"}));
}

TEST(Compression, LabelsAreShownForTheirSectionsAndHiddenAtTheEnd) {
  const Outcome fast = Document<Fast>(u"a<script>x</script><pre>y</pre>");
  // The piece before the script is "a"; the rest holds an empty piece before
  // the pre section and nothing after it.
  const Calls expected = {"Progress 0", "Process",    "ScriptLabel shown",  "Progress 1",         "Progress 2",
                          "Progress 100", "PreLabel shown", "Progress 1", "Progress 2", "ScriptLabel hidden",
                          "ScriptLabel hidden", "PreLabel hidden"};
  EXPECT_EQ(fast.calls, expected);
}

// --- Failures ---------------------------------------------------------------------------

const std::u16string kFailureInputs[] = {
    u"a  b\r\nc\rd\ne\tf> <g" + std::u16string(60, u'x') + u"> <b>",
    u"x  <SCRIPT>s</script>\r\n <pre> p </pre>  y\t<script>t</script>> <b>" + std::u16string(55, u'z') + u"  ",
    u"a  <script>x</script> <pre>y",
    u"<pre>a</pre>b  <script>",
};

// Whichever call to the window fails, the run ends normally, does what the
// model does under the same failure, and leaves the labels hidden.
TEST(Compression, EveryFailingWindowCallIsHandledAsTheModelHandlesIt) {
  for (const std::u16string& input : kFailureInputs) {
    const Outcome clean = Document<Fast>(input);
    for (int failAt = 0;; ++failAt) {
      std::string failed;
      FakeView view;
      FailAt(view, failAt, &failed);
      std::u16string text = input;
      TCompressionRun(view).DoCompress(text);
      if (failed.empty()) break;
      SCOPED_TRACE("input " + Show(input) + " failing " + std::to_string(failAt) + ": " + failed);

      const Outcome slow = Document<Model>(input, failAt);
      ExpectSame(input, Outcome{text, false, view.calls}, slow, "failure");
      // A failure inside a block shows the box once; the progress in the
      // tag-gap step and the run's own calls fail silently.
      int boxes = 0;
      for (const std::string& m : view.messages) boxes += m == "Fehler: " + Narrow(kBlockFailedMessage);
      EXPECT_LE(boxes, 1);
      if (failed != "ScriptLabel hidden" || view.calls.empty() || view.calls.back() != "PreLabel hidden") {
        EXPECT_FALSE(view.Visible(TLabel::ScriptLabel));
      }
      if (failed != "PreLabel hidden") {
        EXPECT_FALSE(view.Visible(TLabel::PreLabel));
      }
      EXPECT_TRUE(text == input || text == clean.text || boxes == 1);
    }
  }
}

// Whichever allocation of a run fails (the run's buffers, the copy with
// lower-case tags, the view's own), the run ends normally, the text is
// either untouched or fully compressed, and the labels are hidden.
TEST(Compression, EveryFailingAllocationLeavesTheTextWhole) {
  const std::u16string input = u"x  <SCRIPT>s</script>\r\n <PRE> p </pre>  y\t<script>t</script>> <b>  ";
  const std::u16string clean = Document<Fast>(input).text;
  ASSERT_NE(clean, input);
  bool sawFailure = true;
  long failAt = 0;
  for (; sawFailure; ++failAt) {
    SCOPED_TRACE(failAt);
    FakeView view;
    view.calls.reserve(1000);
    std::u16string text = input;
    text.reserve(input.size() + 1);
    {
      TCompressionRun run(view);
      gAllocationsLeft = failAt;
      run.DoCompress(text);
      sawFailure = gAllocationsLeft == -1;
      gAllocationsLeft = -1;
    }
    EXPECT_TRUE(text == input || text == clean) << Show(text);
    EXPECT_FALSE(view.Visible(TLabel::ScriptLabel));
    EXPECT_FALSE(view.Visible(TLabel::PreLabel));
  }
  // The tag lists, the output, the lower-case copy and the view's lines.
  EXPECT_GT(failAt, 6);
}

TEST(Compression, FailureInsideABlockPutsItBack) {
  FakeView view;
  int processes = 0;
  view.onProcess = [&] {
    if (++processes == 2) throw std::runtime_error("pump failed");
  };
  std::u16string block = u"a  b\r\nc" + std::u16string(60, u'x');
  const std::u16string original = block;
  bool changed = true;
  TCompressionRun(view).CompressBlock(block, changed);
  EXPECT_EQ(block, original);
  EXPECT_FALSE(changed);
  EXPECT_EQ(view.messages, Calls{"Fehler: " + Narrow(kBlockFailedMessage)});
}

TEST(Compression, FailingProgressInTheGapStepIsIgnored) {
  FakeView view;
  view.before = [](const std::string& line) {
    if (line == "Progress 50") throw std::runtime_error("bar failed");
  };
  std::u16string block = std::u16string(50, u'x') + u"> <b>  c";
  bool changed = false;
  TCompressionRun(view).CompressBlock(block, changed);
  EXPECT_EQ(block, std::u16string(50, u'x') + u"><b> c");
  EXPECT_TRUE(changed);
  EXPECT_TRUE(view.messages.empty());
  ExpectSame(u"", Outcome{block, changed, view.calls},
             [] {
               FakeView m;
               m.before = [](const std::string& line) {
                 if (line == "Progress 50") throw std::runtime_error("bar failed");
               };
               std::u16string b = std::u16string(50, u'x') + u"> <b>  c";
               bool c = false;
               model::TCompressionModel(m).CompressBlock(b, c);
               return Outcome{b, c, m.calls};
             }(),
             "failing progress");
}

// Only one block fails; the others are compressed and the text is replaced.
TEST(Compression, OtherPiecesGoOnAfterABlockFails) {
  FakeView view;
  std::u16string text = u"a  b<script>x</script>c\r\nd";
  // The first Process is the run's own (a failure there ends the whole run),
  // so the second one, in the last piece's line-break step, fails.
  int seen = 0;
  view.before = [&](const std::string& line) {
    if (line == "Process" && ++seen == 2) throw std::runtime_error("pump failed");
  };
  TCompressionRun(view).DoCompress(text);
  EXPECT_EQ(text, u"a b<script>x</script>c\r\nd");
  EXPECT_EQ(view.messages, Calls{"Fehler: " + Narrow(kBlockFailedMessage)});
}

// Records only the progress positions and counts the processing points, so
// that a text of tens of millions of code units stays cheap to watch.
class ProgressView final : public IMainView {
 public:
  std::vector<int> positions;
  long processed = 0;
  void SetToolBarEnabled(bool) override {}
  void SetButtonEnabled(TToolButton, bool) override {}
  void SetLabelCaption(TLabel, std::u16string_view) override {}
  void SetLabelVisible(TLabel, bool) override {}
  void SetProgress(int position) override { positions.push_back(position); }
  void SetWaitCursor(bool) override {}
  void ShowMessage(TMessageKind, std::u16string_view) override { ++messages; }
  void ProcessMessages() override { ++processed; }
  void Close() override {}
  int messages = 0;
};

// Past 21,474,836 code units the position times 100 no longer fits in 32
// bits; the bar must still climb through every percentage to 100.
TEST(Compression, LongTextShowsTruePercentages) {
  constexpr std::size_t kLength = 22'000'000;
  std::u16string text(kLength, u'x');
  ProgressView view;
  TCompressionRun(view).DoCompress(text);
  std::vector<int> expected = {0, 1, 2};
  for (int p = 0; p <= 100; ++p) expected.push_back(p);
  EXPECT_EQ(view.positions, expected);
  EXPECT_EQ(view.processed, 1 + static_cast<long>(kLength / 50));
  EXPECT_EQ(view.messages, 0);
  EXPECT_EQ(text.size(), kLength);
}

}  // namespace
}  // namespace tavi
