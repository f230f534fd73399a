#include "crash/ReportFile.h"

#include "crash/CrashReport.h"

namespace tavi::crash {
namespace {

// The head of a report that fits cap bytes: up to its last line end inside
// them, or, for one endless line, as much as fits without splitting a UTF-8
// sequence.
std::size_t HeadThatFits(std::string_view report, std::size_t cap) {
  if (report.size() <= cap) return report.size();
  const std::size_t lineEnd = report.substr(0, cap).rfind('\n');
  if (lineEnd != std::string_view::npos) return lineEnd + 1;
  std::size_t cut = cap;
  while (cut > 0 && (static_cast<unsigned char>(report[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

}  // namespace

TFilePlan PlanAppend(std::string_view existing, std::string_view report, std::size_t cap) {
  TFilePlan plan;
  plan.reportBytes = HeadThatFits(report, cap);
  plan.keepFrom = existing.size();
  const std::size_t room = cap - plan.reportBytes;
  if (existing.empty() || room == 0) return plan;
  const bool newline = existing.back() != '\n';
  const std::size_t needed = existing.size() + (newline ? 1 : 0);
  if (needed <= room) {
    plan.keepFrom = 0;
    plan.newline = newline;
    return plan;
  }
  // Drop whole reports from the front: keep from the first report start
  // that leaves the rest small enough. Whatever stands before the first
  // report (a file not of ours) goes first.
  const std::size_t earliest = needed - room;
  char pattern[16] = "\n";
  for (std::size_t i = 0; i < kReportStart.size(); ++i) pattern[i + 1] = kReportStart[i];
  const std::string_view marker(pattern, kReportStart.size() + 1);
  const std::size_t found = existing.find(marker, earliest - 1);
  if (found == std::string_view::npos) return plan;
  plan.keepFrom = found + 1;
  plan.newline = newline;
  return plan;
}

}  // namespace tavi::crash
