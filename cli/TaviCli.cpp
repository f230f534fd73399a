#include "cli/TaviCli.h"

#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "cli/FileIO.h"
#include "cli/TextCodec.h"
#include "dialog/Compression.h"
#include "dialog/MainView.h"
#include "dialog/TaviMainPluginUnit.h"
#include "html/HTMTools.h"

#ifndef TAVI_VERSION
#define TAVI_VERSION "unknown"
#endif

namespace tavi::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tavi [--entities] [--compress] [-i | -o FILE] [--encoding ENC] [FILE...]\n"
    "Replaces special characters by HTML named entities and compresses HTML,\n"
    "as the Scrivlex Sonderzeichen plug-in does. With both actions, entities\n"
    "come first. Without FILE (or with -), reads standard input.\n"
    "\n"
    "  -e, --entities      replace U+00A0..U+00FF, the euro and trade mark signs\n"
    "                      by named entities (\"Sonderzeichen\")\n"
    "  -c, --compress      compress the HTML outside script and pre sections\n"
    "                      (\"Komprimieren\")\n"
    "  -i, --in-place      rewrite each FILE atomically; unchanged files are not\n"
    "                      touched\n"
    "  -o, --output FILE   write the result to FILE (one input only)\n"
    "      --encoding ENC  utf-8 (default; a byte-order mark is kept), utf-16le\n"
    "                      (chosen by itself for input with its mark),\n"
    "                      windows-1252 or iso-8859-1\n"
    "  -h, --help          show this help\n"
    "  -V, --version       show the version\n"
    "\n"
    "Results go to standard output unless -i or -o is given; messages go to\n"
    "standard error. Exit status: 0 all files done, 1 a compression stopped\n"
    "(for example at a missing section end; that text is left unchanged),\n"
    "2 bad usage, an unreadable file or invalid input.\n";

struct TOptions {
  bool entities = false;
  bool compress = false;
  bool inPlace = false;
  std::optional<std::string> output;
  std::optional<TEncoding> encoding;
  std::vector<std::string> files;
  bool help = false;
  bool version = false;
};

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Utf8(std::u16string_view text) { return Encode(text, TEncoding::Utf8, false); }

TOptions ParseArguments(const std::vector<std::string>& args) {
  TOptions options;
  bool onlyFiles = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string_view name) -> std::string {
      const std::string prefix = std::string(name) + "=";
      if (arg.starts_with(prefix)) return arg.substr(prefix.size());
      if (i + 1 >= args.size()) throw TUsageError("option " + std::string(name) + " needs a value");
      return args[++i];
    };
    if (onlyFiles || arg == "-" || !arg.starts_with("-")) {
      options.files.push_back(arg);
    } else if (arg == "--") {
      onlyFiles = true;
    } else if (arg == "--entities") {
      options.entities = true;
    } else if (arg == "--compress") {
      options.compress = true;
    } else if (arg == "--in-place") {
      options.inPlace = true;
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--output" || arg.starts_with("--output=")) {
      options.output = value("--output");
    } else if (arg == "--encoding" || arg.starts_with("--encoding=")) {
      const std::string name = value("--encoding");
      options.encoding = ParseEncoding(name);
      if (!options.encoding) throw TUsageError("unknown encoding '" + name + "'");
    } else if (arg.starts_with("--")) {
      throw TUsageError("unknown option '" + arg + "'");
    } else {
      // Bundled short options: -ec, -ci, -o FILE.
      for (std::size_t k = 1; k < arg.size(); ++k) {
        switch (arg[k]) {
          case 'e': options.entities = true; break;
          case 'c': options.compress = true; break;
          case 'i': options.inPlace = true; break;
          case 'h': options.help = true; break;
          case 'V': options.version = true; break;
          case 'o':
            if (k + 1 < arg.size()) {
              options.output = arg.substr(k + 1);
            } else if (i + 1 < args.size()) {
              options.output = args[++i];
            } else {
              throw TUsageError("option -o needs a value");
            }
            k = arg.size();
            break;
          default: throw TUsageError(std::string("unknown option '-") + arg[k] + "'");
        }
      }
    }
  }
  if (options.help || options.version) return options;
  if (!options.entities && !options.compress) throw TUsageError("nothing to do: give --entities, --compress or both");
  if (options.inPlace && options.output) throw TUsageError("-i and -o exclude each other");
  if (options.inPlace && options.files.empty()) throw TUsageError("-i needs at least one file");
  if (options.inPlace) {
    for (const std::string& file : options.files) {
      if (file == "-") throw TUsageError("-i cannot rewrite standard input");
    }
  }
  if (options.output && options.files.size() > 1) throw TUsageError("-o takes one input only");
  return options;
}

// The dialog's view for a console: error boxes become lines on standard
// error, the progress bar a line that redraws itself on a terminal.
class TConsoleView final : public IMainView {
 public:
  TConsoleView(std::ostream& err, std::string prefix, bool drawProgress)
      : err_(err), prefix_(std::move(prefix)), drawProgress_(drawProgress) {}
  ~TConsoleView() override { ClearProgress(); }
  TConsoleView(const TConsoleView&) = delete;
  TConsoleView& operator=(const TConsoleView&) = delete;

  bool stopped() const { return stopped_; }

  void SetToolBarEnabled(bool) override {}
  void SetButtonEnabled(TToolButton, bool) override {}
  void SetLabelCaption(TLabel, std::u16string_view) override {}
  void SetLabelVisible(TLabel, bool) override {}
  void SetWaitCursor(bool) override {}
  void ProcessMessages() override {}
  void Close() override {}

  void SetProgress(int position) override {
    if (!drawProgress_ || position == shown_) return;
    shown_ = position;
    const int filled = position * 30 / 100;
    err_ << '\r' << prefix_ << '[' << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(30 - filled), ' ') << "] " << position << "%" << std::flush;
    drawn_ = true;
  }

  void ShowMessage(TMessageKind kind, std::u16string_view text) override {
    ClearProgress();
    // Only a missing section end stops the run; a block that failed stays
    // uncompressed and the rest of the file is still written.
    if (kind == TMessageKind::Error && text != kBlockFailedMessage) stopped_ = true;
    err_ << prefix_ << Utf8(text) << '\n';
  }

 private:
  void ClearProgress() {
    if (!drawn_) return;
    err_ << '\r' << std::string(prefix_.size() + 40, ' ') << '\r' << std::flush;
    drawn_ = false;
  }

  std::ostream& err_;
  std::string prefix_;
  bool drawProgress_;
  bool drawn_ = false;
  bool stopped_ = false;
  int shown_ = -1;
};

// A progress bar is only worth drawing for files that take a moment.
constexpr std::size_t kProgressThreshold = 1u << 20;

class TRunner {
 public:
  TRunner(const TOptions& options, TConsole console) : options_(options), console_(console) {}

  int Run() {
    std::vector<std::string> files = options_.files;
    if (files.empty()) files.push_back("-");
    const bool several = files.size() > 1;
    for (const std::string& file : files) {
      const int status = ProcessFile(file, several ? DisplayName(file) + ": " : std::string());
      worst_ = std::max(worst_, status);
    }
    if (options_.compress && compressed_) console_.err << Utf8(kCompressedMessage) << '\n';
    return worst_;
  }

 private:
  static std::string DisplayName(const std::string& file) { return file == "-" ? "(standard input)" : file; }

  int Fail(const std::string& file, const std::string& what) {
    console_.err << "tavi: " << DisplayName(file) << ": " << what << '\n';
    return kExitBadInput;
  }

  int ProcessFile(const std::string& file, const std::string& prefix) {
    std::string bytes;
    try {
      bytes = file == "-" ? std::string(std::istreambuf_iterator<char>(console_.in), {}) : ReadWholeFile(file);
    } catch (const TFileError& error) {
      return Fail(file, error.what());
    }

    TDecoded decoded;
    try {
      decoded = Decode(bytes, options_.encoding);
    } catch (const TCodecError& error) {
      return Fail(file, std::string(error.what()) + " at byte offset " + std::to_string(error.where()));
    }

    int status = kExitOk;
    std::u16string& text = decoded.text;
    if (options_.entities) {
      TCharCodeSet markup;
      markup.set('&').set('<').set('>');
      std::int32_t count = 0;
      text = ConvertSpecialChars(count, text, false, markup);
      console_.err << prefix << count << Utf8(kConvertedSuffix) << '\n';
    }
    if (options_.compress) {
      TConsoleView view(console_.err, prefix, console_.errIsTerminal && text.size() >= kProgressThreshold);
      TCompressionRun(view).DoCompress(text);
      compressed_ = true;
      if (view.stopped()) status = kExitSectionMissing;
    }

    std::string result;
    try {
      result = Encode(text, decoded.encoding, decoded.byteOrderMark);
    } catch (const TCodecError& error) {
      return Fail(file, std::string(error.what()) + " (character " + std::to_string(error.where() + 1) + ")");
    }
    try {
      Write(file, bytes, result);
    } catch (const TFileError& error) {
      return Fail(file, error.what());
    }
    return status;
  }

  void Write(const std::string& file, const std::string& before, const std::string& after) {
    if (options_.inPlace) {
      if (after != before) ReplaceFileAtomically(file, after);
    } else if (options_.output) {
      ReplaceFileAtomically(*options_.output, after);
    } else {
      console_.out.write(after.data(), static_cast<std::streamsize>(after.size()));
      console_.out.flush();
      if (!console_.out) throw TFileError("cannot write to standard output");
    }
  }

  const TOptions& options_;
  TConsole console_;
  int worst_ = kExitOk;
  bool compressed_ = false;
};

}  // namespace

int RunTavi(const std::vector<std::string>& args, TConsole console) {
  TOptions options;
  try {
    options = ParseArguments(args);
  } catch (const TUsageError& error) {
    console.err << "tavi: " << error.what() << "\nTry 'tavi --help'.\n";
    return kExitBadInput;
  }
  if (options.help) {
    console.out << kUsage;
    return kExitOk;
  }
  if (options.version) {
    console.out << "tavi " << TAVI_VERSION << '\n';
    return kExitOk;
  }
  return TRunner(options, console).Run();
}

}  // namespace tavi::cli
