#include "crash/ReportFile.h"

#include <gtest/gtest.h>

#include <string>

namespace tavi::crash {
namespace {

std::string Apply(const std::string& existing, const std::string& report, std::size_t cap) {
  const TFilePlan plan = PlanAppend(existing, report, cap);
  std::string result = existing.substr(plan.keepFrom);
  if (plan.newline) result += '\n';
  result += report.substr(0, plan.reportBytes);
  return result;
}

std::string Report(char tag, std::size_t bodyLines) {
  std::string text = std::string("Bericht: Ausnahme ") + tag + "\n";
  for (std::size_t i = 0; i < bodyLines; ++i) text += "Aufruf: Tavi.dll+0x1A2B\n";
  return text + "\n";
}

TEST(ReportFile, PlanKeepsTheFileUnderItsCap) {
  const std::string a = Report('A', 1);  // 44 bytes each
  const std::string b = Report('B', 1);
  const std::string c = Report('C', 1);
  struct Case {
    const char* name;
    std::string existing;
    std::string report;
    std::size_t cap;
    std::string expected;
  };
  const Case cases[] = {
      {"first report", "", a, 1000, a},
      {"appended", a + b, c, 1000, a + b + c},
      {"exactly the cap", a + b, c, 3 * a.size(), a + b + c},
      {"oldest dropped", a + b, c, 3 * a.size() - 1, b + c},
      {"both old dropped", a + b, c, 2 * a.size() - 1, c},
      {"new report alone fits exactly", a + b, c, c.size(), c},
      // Whatever stands before the first report is dropped first.
      {"foreign head dropped", "junk\n" + a, b, 2 * a.size(), a + b},
      {"old file without final line end", "x", a, 1000, "x\n" + a},
      {"old file without line end dropped", "xyz", a, a.size() + 1, a},
      // One report over the cap: its head up to a line end.
      {"lone report cut at a line end", a, "L1\nL2\nL3\n", 7, "L1\nL2\n"},
      {"lone report cut, old dropped", a, "L1\nL2\nL3\n", 8, "L1\nL2\n"},
      {"no line end: cut before a UTF-8 sequence", "", "abc\xC3\xA4", 4, "abc"},
      {"empty report", a, "", 1000, a},
  };
  for (const Case& one : cases) {
    const std::string result = Apply(one.existing, one.report, one.cap);
    EXPECT_EQ(result, one.expected) << one.name;
    EXPECT_LE(result.size(), one.cap) << one.name;
  }
}

TEST(ReportFile, ManyReportsKeepTheNewestWholeAndDropTheOldest) {
  std::string file;
  for (int i = 0; i < 3000; ++i) {
    const std::string report = "Bericht: Ausnahme " + std::to_string(i) + "\n" +
                               std::string(static_cast<std::size_t>(i % 97) * 7, 'x') + "\nEnde\n\n";
    file = Apply(file, report, kReportFileCap);
    ASSERT_LE(file.size(), kReportFileCap);
    ASSERT_EQ(file.rfind(report), file.size() - report.size()) << i;
    ASSERT_EQ(file.rfind("Bericht: ", 0), 0u) << i;  // only whole reports
  }
  EXPECT_GT(file.size(), kReportFileCap - 1000);
}

}  // namespace
}  // namespace tavi::crash
