// The tavi command-line program: the dialog's "Sonderzeichen" and
// "Komprimieren" actions on files, standard input or in place, through the
// same engine (html/HTMTools.h, dialog/Compression.h).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tavi::cli {

enum TExitStatus { kExitOk = 0, kExitSectionMissing = 1, kExitBadInput = 2 };

struct TConsole {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // Whether standard error is a terminal, so a progress bar may be drawn.
  bool errIsTerminal = false;
};

// Runs tavi with the arguments after the program name; returns the exit status.
int RunTavi(const std::vector<std::string>& args, TConsole console);

}  // namespace tavi::cli
