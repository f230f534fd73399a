// How a new report joins "bugreport.txt": appended, the file never over its
// cap, the oldest whole reports dropped to make room, a lone report over the
// cap cut at a line end. Pure arithmetic on the old content, so that the
// writer (crash/win32/ReportStore.h) only copies what this keeps.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavi::crash {

inline constexpr std::size_t kReportFileCap = 100000;

struct TFilePlan {
  std::size_t keepFrom = 0;     // the old content from here to its end stays
  bool newline = false;         // a line break between the kept part and the report
  std::size_t reportBytes = 0;  // the head of the new report that is written
};

// The new file is existing.substr(keepFrom), "\n" when newline, then the
// first reportBytes of report; its size is at most cap.
TFilePlan PlanAppend(std::string_view existing, std::string_view report, std::size_t cap = kReportFileCap);

}  // namespace tavi::crash
