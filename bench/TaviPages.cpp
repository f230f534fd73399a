// Writes the generated pages of bench/BenchDocument.h as UTF-8 files, for
// timing the tavi program as a whole process: one big page, or a site of many
// pages spread over folders.
//
//   tavi_pages page FILE MEGABYTES
//   tavi_pages site FOLDER PAGES KILOBYTES_PER_PAGE
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/BenchDocument.h"
#include "cli/TextCodec.h"

namespace {

bool WriteUtf8(const std::filesystem::path& path, std::u16string_view text) {
  const std::string bytes = tavi::cli::Encode(text, tavi::cli::TEncoding::Utf8, false);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int Usage() {
  std::cerr << "usage: tavi_pages page FILE MEGABYTES\n"
               "       tavi_pages site FOLDER PAGES KILOBYTES_PER_PAGE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "page" && argc == 4) {
    const auto megabytes = std::strtoul(argv[3], nullptr, 10);
    return WriteUtf8(argv[2], tavi::bench::RealPages(megabytes * 1000 * 1000)) ? 0 : 1;
  }
  if (mode == "site" && argc == 5) {
    const std::filesystem::path root = argv[2];
    const auto pages = std::strtoul(argv[3], nullptr, 10);
    const auto kilobytes = std::strtoul(argv[4], nullptr, 10);
    // Ten pages a folder, ten folders a section: a site's usual depth.
    for (unsigned long i = 0; i < pages; ++i) {
      const std::filesystem::path folder =
          root / ("teil" + std::to_string(i / 100)) / ("kapitel" + std::to_string(i / 10 % 10));
      std::filesystem::create_directories(folder);
      const auto text = tavi::bench::RealPages(kilobytes * 1000, static_cast<unsigned>(i + 1));
      if (!WriteUtf8(folder / ("seite" + std::to_string(i % 10) + ".html"), text)) return 1;
    }
    return 0;
  }
  return Usage();
}
