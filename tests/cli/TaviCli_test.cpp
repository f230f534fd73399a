#include "cli/TaviCli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "cli/FileIO.h"

namespace tavi::cli {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result RunCli(std::vector<std::string> args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunTavi(args, {in, out, err, false});
  return {status, out.str(), err.str()};
}

class TaviCliFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavi-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Make(const std::string& name, const std::string& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  static std::string Read(const std::string& path) { return ReadWholeFile(path); }
  // False where the system has no symbolic links (MinGW's runtime under Wine).
  static bool Symlink(const fs::path& target, const fs::path& link, bool folder = false) {
    std::error_code error;
    if (folder) {
      fs::create_directory_symlink(target, link, error);
    } else {
      fs::create_symlink(target, link, error);
    }
    return !error;
  }
  std::size_t FilesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }

  fs::path dir_;
};

TEST(TaviCli, StandardInputToStandardOutput) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input, out, err;
  };
  const Case cases[] = {
      {"entities", {"-e"}, "<p>K\xC3\xB6ln &amp;</p>", "<p>K&ouml;ln &amp;</p>", "1 Sonderzeichen konvertiert.\n"},
      {"compress", {"--compress"}, "a  b\r\nc", "a b c", "Komprimierung beendet.\n"},
      {"both, entities first", {"-ec"}, "\xC3\xA4  \xC3\xBC", "&auml; &uuml;",
       "2 Sonderzeichen konvertiert.\nKomprimierung beendet.\n"},
      {"mark kept", {"-e"}, "\xEF\xBB\xBF\xC3\xA4", "\xEF\xBB\xBF&auml;", "1 Sonderzeichen konvertiert.\n"},
      {"cp1252 euro and trade", {"-e", "--encoding", "windows-1252"}, "\x80\x99", "&euro;&trade;",
       "2 Sonderzeichen konvertiert.\n"},
      {"latin-1 controls stay", {"-e", "--encoding=iso-8859-1"}, "\x80\x99", "\x80\x99",
       "0 Sonderzeichen konvertiert.\n"},
      {"nul survives", {"-ec"}, std::string("a\0  b", 5), std::string("a\0 b", 4),
       "0 Sonderzeichen konvertiert.\nKomprimierung beendet.\n"},
  };
  for (const Case& c : cases) {
    const Result r = RunCli(c.args, c.input);
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
  }
}

TEST(TaviCli, BadUsageIsStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"--bogus"}, {"-ex"}, {"-e", "--encoding", "ebcdic"}, {"-e", "-i"}, {"-e", "-i", "-o", "x", "f"},
      {"-e", "-o"}, {"-e", "-o", "out", "a", "b"}, {"-e", "-i", "-"}, {"-e", "-j", "0"}, {"-e", "-jx"},
      {"-e", "--jobs"}, {"-e", "-j", "99999999999999999999"}, {"-e", "--check", "-i", "f"},
      {"-e", "--check", "-o", "x"}, {"-e", "-r", "-o", "x", "f"}, {"-e", "--include"}};
  for (const auto& args : cases) {
    const Result r = RunCli(args);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("tavi: "), std::string::npos);
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(TaviCli, HelpAndVersion) {
  EXPECT_EQ(RunCli({"--help"}).out.rfind("Usage: tavi", 0), 0u);
  EXPECT_EQ(RunCli({"-V"}).out.rfind("tavi 1.1.0.13", 0), 0u);
}

TEST(TaviCli, MissingSectionEndIsStatusOneAndLeavesTheText) {
  const Result r = RunCli({"-c"}, "<script>  x");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "<script>  x");
  EXPECT_EQ(r.err, "Im Text fehlt das Ende des Scripts! Bearbeitung abgebrochen!\nKomprimierung beendet.\n");
}

TEST(TaviCli, InvalidUtf8NamesTheOffsetAndWritesNothing) {
  const Result r = RunCli({"-e"}, "ab\xC3(");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("at byte offset 3"), std::string::npos) << r.err;
}

// Characters of windows-1252 outside Latin-1 (here the OE ligature) have no
// entity and must come back as their own byte.
TEST(TaviCli, Cp1252KeepsItsOwnCharacters) {
  const Result r = RunCli({"-e", "--encoding", "windows-1252"}, "\x8C\xE4");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\x8C&auml;");
}

TEST_F(TaviCliFiles, InPlaceRewritesChangedFilesOnly) {
  const std::string changed = Make("a.html", "<p>\xC3\xA4</p>");
  const std::string same = Make("b.html", "<p>plain</p>");
  const auto before = fs::last_write_time(same);
  const Result r = RunCli({"-e", "-i", changed, same});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read(changed), "<p>&auml;</p>");
  EXPECT_EQ(Read(same), "<p>plain</p>");
  EXPECT_EQ(fs::last_write_time(same), before);
  EXPECT_EQ(r.err, changed + ": 1 Sonderzeichen konvertiert.\n" + same + ": 0 Sonderzeichen konvertiert.\n");
  EXPECT_EQ(FilesInDir(), 2u);
}

TEST_F(TaviCliFiles, OneBadFileDoesNotStopTheOthers) {
  const std::string good1 = Make("1.html", "\xC3\xBC");
  const std::string bad = Make("2.html", "x\xFFy");
  const std::string stopped = Make("3.html", "<pre>  a");
  const std::string good2 = Make("4.html", "a  b");
  const std::string missing = (dir_ / "nope.html").string();
  const Result r = RunCli({"-ec", "-i", good1, bad, stopped, missing, good2});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Read(good1), "&uuml;");
  EXPECT_EQ(Read(bad), "x\xFFy");
  EXPECT_EQ(Read(stopped), "<pre>  a");
  EXPECT_EQ(Read(good2), "a b");
  EXPECT_NE(r.err.find("tavi: " + bad + ": invalid UTF-8 byte 0xFF at byte offset 1"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(stopped + ": Im Text fehlt das Ende des Pre-Bereichs!"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("tavi: " + missing + ": cannot read"), std::string::npos) << r.err;
}

TEST_F(TaviCliFiles, SectionStopAloneIsStatusOne) {
  const std::string stopped = Make("s.html", "<script>");
  const std::string fine = Make("f.html", "x");
  EXPECT_EQ(RunCli({"-c", "-i", stopped, fine}).status, 1);
}

TEST_F(TaviCliFiles, OutputFileAndUtf16RoundTrip) {
  const std::string input = Make("in.html", std::string("\xFF\xFE\xE4\0 \0 \0x\0", 10));
  const std::string output = (dir_ / "out.html").string();
  const Result r = RunCli({"-ec", "-o", output, input});
  EXPECT_EQ(r.status, 0);
  const std::string expected = std::string("\xFF\xFE", 2) + std::string("&\0a\0u\0m\0l\0;\0 \0x\0", 16);
  EXPECT_EQ(Read(output), expected);
}

TEST_F(TaviCliFiles, FailedReplacementKeepsTheOldFile) {
  const std::string target = Make("keep.html", "old content");
  EXPECT_THROW(ReplaceFileAtomically(target, "new content", [] { throw std::runtime_error("disk gone"); }),
               std::runtime_error);
  EXPECT_EQ(Read(target), "old content");
  EXPECT_EQ(FilesInDir(), 1u);
  ReplaceFileAtomically(target, "new content");
  EXPECT_EQ(Read(target), "new content");
  EXPECT_EQ(FilesInDir(), 1u);
}

// A small site: pages at two depths, a page of another kind, a hidden
// folder, a link to a folder and a link to a page.
class TaviCliSite : public TaviCliFiles {
 protected:
  void SetUp() override {
    TaviCliFiles::SetUp();
    fs::create_directories(dir_ / "site" / "sub");
    fs::create_directories(dir_ / "site" / ".git");
    fs::create_directories(dir_ / "elsewhere");
    Make("site/b.html", "\xC3\xA4");
    Make("site/a.htm", "\xC3\xB6");
    Make("site/sub/c.xhtml", "\xC3\xBC");
    Make("site/sub/d.html", "plain");
    Make("site/notes.txt", "\xC3\xA4");
    Make("site/.git/e.html", "\xC3\xA4");
    Make("elsewhere/f.html", "\xC3\xA4");
    Symlink(dir_ / "elsewhere", dir_ / "site" / "linked", true);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    TaviCliFiles::TearDown();
  }
};

TEST_F(TaviCliSite, FoldersAndPatterns) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"folder without -r", {"-e", "--check", "site", "site/b.html"}, 2,
       "tavi: site: is a folder; use -r\nsite/b.html: 1 Sonderzeichen konvertiert.\n"},
      {"sorted, hidden folder and folder link left out", {"-e", "--check", "-r", "site/"}, 1,
       "site/a.htm: 1 Sonderzeichen konvertiert.\nsite/b.html: 1 Sonderzeichen konvertiert.\n"
       "site/sub/c.xhtml: 1 Sonderzeichen konvertiert.\nsite/sub/d.html: 0 Sonderzeichen konvertiert.\n"},
      {"include replaces the defaults", {"-e", "--check", "-r", "--include", "*.txt", "--include=*.xhtml", "site"}, 1,
       "site/notes.txt: 1 Sonderzeichen konvertiert.\nsite/sub/c.xhtml: 1 Sonderzeichen konvertiert.\n"},
      {"exclude files and folders", {"-e", "--check", "-r", "--exclude", "b.*", "--exclude=sub", "site"}, 1,
       "site/a.htm: 1 Sonderzeichen konvertiert.\n"},
      {"a hidden folder named itself is entered", {"-e", "--check", "-r", "site/.git"}, 1,
       "site/.git/e.html: 1 Sonderzeichen konvertiert.\n"},
      {"a folder with nothing to do", {"-e", "--check", "-r", "--include", "*.none", "site"}, 0, ""},
  };
  for (const Case& c : cases) {
    const Result r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
  }
}

TEST_F(TaviCliSite, CheckListsWhatWouldChangeAndWritesNothing) {
  const auto before = fs::last_write_time("site/b.html");
  Result r = RunCli({"-ec", "--check", "-r", "site"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "site/a.htm\nsite/b.html\nsite/sub/c.xhtml\n");
  EXPECT_EQ(Read("site/b.html"), "\xC3\xA4");
  EXPECT_EQ(fs::last_write_time("site/b.html"), before);

  r = RunCli({"-ec", "-i", "-r", "site"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Read("site/b.html"), "&auml;");
  r = RunCli({"-ec", "--check", "-r", "site"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Read("elsewhere/f.html"), "\xC3\xA4") << "a link to a folder was followed";
}

TEST_F(TaviCliFiles, InPlaceKeepsLinks) {
  const std::string target = Make("page.html", "\xC3\xA4");
  const std::string link = (dir_ / "link.html").string();
  if (Symlink("page.html", link)) {
    EXPECT_EQ(RunCli({"-e", "-i", link}).status, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), "&auml;");
  } else {
    Make("link.html", "");
  }

  const std::string first = Make("first.html", "\xC3\xBC");
  const std::string second = (dir_ / "second.html").string();
  fs::create_hard_link(first, second);
  EXPECT_EQ(RunCli({"-e", "-i", second}).status, 0);
  EXPECT_EQ(Read(first), "&uuml;");
  EXPECT_EQ(Read(second), "&uuml;");
  EXPECT_EQ(FilesInDir(), 4u) << "a temporary file was left";
}

TEST_F(TaviCliFiles, InterruptedInPlaceRewriteKeepsTheNewTextBeside) {
  const std::string target = Make("shared.html", "old text, longer than the new");
  fs::create_hard_link(target, dir_ / "other.html");
  try {
    RewriteInPlace(target, "new text", [] { throw std::runtime_error("disk gone"); });
    ADD_FAILURE() << "no error";
  } catch (const TFileError& error) {
    const std::string message = error.what();
    const std::size_t at = message.find("its new text is in ");
    ASSERT_NE(at, std::string::npos) << message;
    EXPECT_EQ(Read(message.substr(at + 19)), "new text");
  }
  EXPECT_EQ(FilesInDir(), 3u);
}

TEST_F(TaviCliFiles, JobsKeepTheOrderOfTheInput) {
  fs::create_directories(dir_ / "many");
  for (int i = 0; i < 50; ++i) {
    std::string page = "<p>  Seite " + std::to_string(i) + " \xC3\xA4</p>\r\n";
    // Pages of very different sizes finish out of order.
    for (int k = 0; k < (i % 7) * 400; ++k) page += "<li> \xE2\x82\xAC </li>\r\n";
    if (i == 17) page = "x\xFFy";
    if (i == 33) page = "<script>  offen";
    Make("many/p" + std::to_string(100 + i) + ".html", page);
  }
  // A broken link among them cannot be read.
  const bool broken = Symlink("nowhere.html", dir_ / "many" / "p125b.html");
  const std::string folder = (dir_ / "many").string();
  const Result one = RunCli({"-ec", "-r", "-j", "1", folder});
  const Result four = RunCli({"-ec", "-r", "-j4", folder});
  EXPECT_EQ(one.status, 2);
  EXPECT_EQ(four.status, 2);
  EXPECT_EQ(one.out, four.out);
  EXPECT_EQ(one.err, four.err);
  EXPECT_NE(one.err.find("p117.html: invalid UTF-8 byte 0xFF"), std::string::npos) << one.err;
  EXPECT_TRUE(!broken || one.err.find("p125b.html: cannot read") != std::string::npos) << one.err;
  EXPECT_NE(one.err.find("p133.html: Im Text fehlt das Ende des Scripts!"), std::string::npos);
  EXPECT_NE(one.out.find("Seite 49 &auml;"), std::string::npos);

  // In place, every other page is still converted.
  const Result inPlace = RunCli({"-ec", "-i", "-r", "-j4", folder});
  EXPECT_EQ(inPlace.status, 2);
  EXPECT_EQ(inPlace.err, one.err);
  EXPECT_EQ(Read((dir_ / "many" / "p149.html").string()).rfind("<p> Seite 49 &auml;</p>", 0), 0u);
  EXPECT_EQ(Read((dir_ / "many" / "p117.html").string()), "x\xFFy");
}

TEST_F(TaviCliFiles, ReplacementIntoAMissingFolderFailsCleanly) {
  EXPECT_THROW(ReplaceFileAtomically((dir_ / "no" / "such.html").string(), "x"), TFileError);
  EXPECT_EQ(FilesInDir(), 0u);
}

}  // namespace
}  // namespace tavi::cli
