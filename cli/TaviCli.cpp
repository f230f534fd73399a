#include "cli/TaviCli.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "cli/FileIO.h"
#include "cli/FolderWalk.h"
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
    "Usage: tavi [--entities] [--compress] [-i | -o FILE | --check] [-r] [-j N]\n"
    "            [--encoding ENC] [FILE | FOLDER...]\n"
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
    "      --check         write nothing; print the path of every file whose\n"
    "                      text would change (exit status 1 when there is any)\n"
    "  -r, --recursive     process the files below each FOLDER, in sorted order\n"
    "      --include PAT   with -r, only files whose name matches PAT (repeatable;\n"
    "                      default *.html, *.htm and *.xhtml)\n"
    "      --exclude PAT   with -r, skip files and folders whose name matches PAT\n"
    "                      (repeatable); folders starting with . are always skipped\n"
    "  -j, --jobs N        process N files at once (default: one per processor);\n"
    "                      output and messages keep the order of the input\n"
    "      --encoding ENC  utf-8 (default; a byte-order mark is kept), utf-16le\n"
    "                      (chosen by itself for input with its mark),\n"
    "                      windows-1252 or iso-8859-1\n"
    "  -h, --help          show this help\n"
    "  -V, --version       show the version\n"
    "\n"
    "Results go to standard output unless -i or -o is given; messages go to\n"
    "standard error. Exit status: 0 all files done, 1 a compression stopped\n"
    "(for example at a missing section end; that text is left unchanged),\n"
    "2 bad usage, an unreadable file or invalid input. With --check, 1 also\n"
    "means that some file would change.\n";

struct TOptions {
  bool entities = false;
  bool compress = false;
  bool inPlace = false;
  bool check = false;
  bool recursive = false;
  unsigned jobs = 0;
  TFolderFilter filter;
  bool includeGiven = false;
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

unsigned ParseJobs(const std::string& text) {
  constexpr unsigned kMaxJobs = 1024;
  unsigned jobs = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || jobs > kMaxJobs) throw TUsageError("-j needs a number of jobs from 1 to 1024, not '" + text + "'");
    jobs = jobs * 10 + static_cast<unsigned>(c - '0');
  }
  if (jobs < 1 || jobs > kMaxJobs) throw TUsageError("-j needs a number of jobs from 1 to 1024, not '" + text + "'");
  return jobs;
}

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
    } else if (arg == "--check") {
      options.check = true;
    } else if (arg == "--recursive") {
      options.recursive = true;
    } else if (arg == "--include" || arg.starts_with("--include=")) {
      if (!options.includeGiven) options.filter.include.clear();
      options.includeGiven = true;
      options.filter.include.push_back(value("--include"));
    } else if (arg == "--exclude" || arg.starts_with("--exclude=")) {
      options.filter.exclude.push_back(value("--exclude"));
    } else if (arg == "--jobs" || arg.starts_with("--jobs=")) {
      options.jobs = ParseJobs(value("--jobs"));
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
          case 'r': options.recursive = true; break;
          case 'j':
            if (k + 1 < arg.size()) {
              options.jobs = ParseJobs(arg.substr(k + 1));
            } else if (i + 1 < args.size()) {
              options.jobs = ParseJobs(args[++i]);
            } else {
              throw TUsageError("option -j needs a value");
            }
            k = arg.size();
            break;
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
  if (options.check && (options.inPlace || options.output)) throw TUsageError("--check writes nothing: it excludes -i and -o");
  if (options.output && options.recursive) throw TUsageError("-o takes one input only: it excludes -r");
  return options;
}

// The dialog's view for a console: error boxes become lines of the file's
// messages, the progress bar a line that redraws itself on a terminal.
class TConsoleView final : public IMainView {
 public:
  TConsoleView(std::string& messages, std::ostream* progress, std::string prefix)
      : messages_(messages), progress_(progress), prefix_(std::move(prefix)) {}
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
    if (!progress_ || position == shown_) return;
    shown_ = position;
    const int filled = position * 30 / 100;
    *progress_ << '\r' << prefix_ << '[' << std::string(static_cast<std::size_t>(filled), '#')
               << std::string(static_cast<std::size_t>(30 - filled), ' ') << "] " << position << "%" << std::flush;
    drawn_ = true;
  }

  void ShowMessage(TMessageKind kind, std::u16string_view text) override {
    // Only a missing section end stops the run; a block that failed stays
    // uncompressed and the rest of the file is still written.
    if (kind == TMessageKind::Error && text != kBlockFailedMessage) stopped_ = true;
    messages_ += prefix_ + Utf8(text) + '\n';
  }

 private:
  void ClearProgress() {
    if (!drawn_) return;
    *progress_ << '\r' << std::string(prefix_.size() + 40, ' ') << '\r' << std::flush;
    drawn_ = false;
  }

  std::string& messages_;
  std::ostream* progress_;
  std::string prefix_;
  bool drawn_ = false;
  bool stopped_ = false;
  int shown_ = -1;
};

// A progress bar is only worth drawing for files that take a moment.
constexpr std::size_t kProgressThreshold = 1u << 20;

// One input and what became of it, kept until it is its turn to be told.
struct TItem {
  std::filesystem::path path;
  std::string shown;          // as messages and --check name it
  bool standardInput = false;
  std::string error;          // known before reading (a folder without -r)
  std::uintmax_t size = 0;    // for the progress line

  int status = kExitOk;
  bool changed = false;
  bool compressed = false;
  std::string messages;
  std::string output;
  bool done = false;
};

class TRunner {
 public:
  TRunner(const TOptions& options, TConsole console) : options_(options), console_(console) {}

  int Run() {
    CollectItems();
    const unsigned jobs = options_.jobs ? options_.jobs : std::max(1u, std::thread::hardware_concurrency());
    drawProgress_ = console_.errIsTerminal && items_.size() > 1;
    if (drawProgress_) {
      for (const TItem& item : items_) totalBytes_ += item.size;
    }
    RunJobs(static_cast<unsigned>(std::min<std::size_t>(jobs, items_.size())));
    ClearProgressLine();
    if (options_.compress && compressed_) console_.err << Utf8(kCompressedMessage) << '\n';
    if (options_.check && anyChanged_) worst_ = std::max<int>(worst_, kExitSectionMissing);
    return worst_;
  }

 private:
  static std::string DisplayName(const std::string& file) { return file == "-" ? "(standard input)" : file; }

  void CollectItems() {
    std::vector<std::string> files = options_.files;
    if (files.empty()) files.push_back("-");
    bool folders = false;
    for (const std::string& file : files) {
      TItem item;
      item.shown = DisplayName(file);
      item.standardInput = file == "-";
      if (!item.standardInput) item.path = PathFromUtf8(file);
      std::error_code error;
      if (!item.standardInput && std::filesystem::is_directory(item.path, error)) {
        folders = true;
        if (!options_.recursive) {
          item.error = "is a folder; use -r";
        } else {
          for (TFolderEntry& entry : ListFolder(item.path, file, options_.filter)) {
            TItem below;
            below.path = std::move(entry.path);
            below.shown = std::move(entry.shown);
            below.error = std::move(entry.error);
            items_.push_back(std::move(below));
          }
          continue;
        }
      }
      items_.push_back(std::move(item));
    }
    several_ = items_.size() > 1 || folders;
    for (TItem& item : items_) {
      std::error_code unknown;
      if (console_.errIsTerminal && !item.standardInput && item.error.empty()) {
        item.size = std::filesystem::file_size(item.path, unknown);
        if (unknown) item.size = 0;
      }
    }
  }

  // Items are taken in order by the workers; the calling thread tells each
  // item's messages and output as soon as it and all before it are done, so
  // every run tells the same in the same order. Workers stay at most a few
  // items ahead of the telling, which bounds the output held in memory.
  void RunJobs(unsigned jobs) {
    std::vector<std::thread> workers;
    if (jobs > 1) {
      window_ = std::max<std::size_t>(16, 4 * std::size_t{jobs});
      for (unsigned k = 0; k < jobs; ++k) {
        try {
          workers.emplace_back([this] { Work(); });
        } catch (...) {
          break;  // fewer threads than asked for still do the job
        }
      }
    }
    if (workers.empty()) {
      for (std::size_t i = 0; i < items_.size(); ++i) {
        Process(items_[i]);
        ++doneFiles_;
        Tell(items_[i]);
      }
      return;
    }
    for (std::size_t i = 0; i < items_.size(); ++i) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!items_[i].done) {
          itemDone_.wait_for(lock, std::chrono::milliseconds(100));
          DrawProgressLine();
        }
      }
      Tell(items_[i]);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        told_ = i + 1;
      }
      roomAhead_.notify_all();
    }
    for (std::thread& worker : workers) worker.join();
  }

  void Work() {
    for (;;) {
      std::size_t i = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        roomAhead_.wait(lock, [&] { return next_ >= items_.size() || next_ < told_ + window_; });
        if (next_ >= items_.size()) return;
        i = next_++;
      }
      Process(items_[i]);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        items_[i].done = true;
        ++doneFiles_;
      }
      itemDone_.notify_one();
    }
  }

  void Tell(TItem& item) {
    ClearProgressLine();
    console_.err << item.messages;
    if (options_.check && item.changed) {
      console_.out << (item.standardInput ? std::string("-") : item.shown) << '\n';
    }
    if (!item.output.empty()) {
      console_.out.write(item.output.data(), static_cast<std::streamsize>(item.output.size()));
    }
    console_.out.flush();
    if (!console_.out && !item.output.empty()) {
      console_.err << "tavi: " << item.shown << ": cannot write to standard output\n";
      item.status = kExitBadInput;
    }
    worst_ = std::max(worst_, item.status);
    compressed_ = compressed_ || item.compressed;
    anyChanged_ = anyChanged_ || item.changed;
    doneBytes_ += item.size;
    std::string().swap(item.output);
    std::string().swap(item.messages);
    DrawProgressLine(true);
  }

  void DrawProgressLine(bool now = false) {
    if (!drawProgress_) return;
    const auto time = std::chrono::steady_clock::now();
    if (!now && time - lastDrawn_ < std::chrono::milliseconds(100)) return;
    if (now && drawn_ && time - lastDrawn_ < std::chrono::milliseconds(50)) return;
    lastDrawn_ = time;
    char line[96];
    std::snprintf(line, sizeof line, "\r%zu of %zu files, %.1f of %.1f MB", doneFiles_.load(), items_.size(),
                  static_cast<double>(doneBytes_) / 1e6, static_cast<double>(totalBytes_) / 1e6);
    console_.err << line << std::flush;
    drawn_ = true;
  }

  void ClearProgressLine() {
    if (!drawn_) return;
    console_.err << '\r' << std::string(60, ' ') << '\r' << std::flush;
    drawn_ = false;
  }

  void Process(TItem& item) {
    try {
      ProcessItem(item);
    } catch (const std::bad_alloc&) {
      Fail(item, "not enough memory for this file");
    } catch (const std::exception& error) {
      Fail(item, error.what());
    } catch (...) {
      Fail(item, "unexpected failure");
    }
  }

  static void Fail(TItem& item, const std::string& what) {
    item.messages += "tavi: " + item.shown + ": " + what + '\n';
    item.status = kExitBadInput;
    item.output.clear();
    item.changed = false;
  }

  // Reads and decodes the item. The original bytes are kept only where -i
  // and --check need them to tell an unchanged file; otherwise the text is
  // decoded piece by piece as it is read.
  TDecoded Read(TItem& item, std::string& bytes, bool keepBytes) {
    if (item.standardInput) {
      std::lock_guard<std::mutex> lock(inputMutex_);
      bytes.assign(std::istreambuf_iterator<char>(console_.in), {});
      if (console_.in.bad()) throw TFileError("cannot read standard input");
      return Decode(bytes, options_.encoding);
    }
    if (keepBytes) {
      bytes = ReadWholeFile(item.path);
      return Decode(bytes, options_.encoding);
    }
    std::optional<TDecoder> decoder;
    ReadFileInPieces(
        item.path, [&](std::size_t size) { decoder.emplace(options_.encoding, size); },
        [&](std::string_view piece, bool last) {
          if (!decoder) decoder.emplace(options_.encoding);
          return decoder->Feed(piece, last);
        });
    if (!decoder) decoder.emplace(options_.encoding);
    return std::move(*decoder).Finish();
  }

  void ProcessItem(TItem& item) {
    if (!item.error.empty()) return Fail(item, item.error);
    const std::string prefix = several_ ? item.shown + ": " : std::string();
    const bool keepBytes = options_.inPlace || options_.check;
    std::string bytes;
    TDecoded decoded;
    try {
      decoded = Read(item, bytes, keepBytes);
    } catch (const TCodecError& error) {
      return Fail(item, std::string(error.what()) + " at byte offset " + std::to_string(error.where()));
    }
    if (!keepBytes) std::string().swap(bytes);

    std::u16string& text = decoded.text;
    if (options_.entities) {
      TCharCodeSet markup;
      markup.set('&').set('<').set('>');
      std::int32_t count = 0;
      std::u16string converted = ConvertSpecialChars(count, text, false, markup);
      text.swap(converted);
      item.messages += prefix + std::to_string(count) + Utf8(kConvertedSuffix) + '\n';
    }
    if (options_.compress) {
      const bool bar = console_.errIsTerminal && items_.size() == 1 && text.size() >= kProgressThreshold;
      TConsoleView view(item.messages, bar ? &console_.err : nullptr, prefix);
      TCompressionRun(view).DoCompress(text);
      item.compressed = true;
      if (view.stopped()) item.status = kExitSectionMissing;
    }

    std::string result;
    try {
      result = Encode(text, decoded.encoding, decoded.byteOrderMark);
    } catch (const TCodecError& error) {
      return Fail(item, std::string(error.what()) + " (character " + std::to_string(error.where() + 1) + ")");
    }
    std::u16string().swap(text);
    if (options_.check) {
      item.changed = result != bytes;
    } else if (options_.inPlace) {
      if (result != bytes) RewriteFile(item.path, result);
    } else if (options_.output) {
      RewriteFile(PathFromUtf8(*options_.output), result);
    } else {
      item.output = std::move(result);
    }
  }

  const TOptions& options_;
  TConsole console_;
  std::vector<TItem> items_;
  bool several_ = false;
  int worst_ = kExitOk;
  bool compressed_ = false;
  bool anyChanged_ = false;

  std::mutex mutex_;
  std::mutex inputMutex_;
  std::condition_variable itemDone_;
  std::condition_variable roomAhead_;
  std::size_t next_ = 0;
  std::size_t told_ = 0;
  std::size_t window_ = 1;

  bool drawProgress_ = false;
  bool drawn_ = false;
  std::atomic<std::size_t> doneFiles_{0};
  std::uintmax_t doneBytes_ = 0;
  std::uintmax_t totalBytes_ = 0;
  std::chrono::steady_clock::time_point lastDrawn_{};
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
  try {
    return TRunner(options, console).Run();
  } catch (const std::exception& error) {
    // Nothing the user gives may take tavi down: say what went wrong.
    console.err << "tavi: " << error.what() << '\n';
  } catch (...) {
    console.err << "tavi: unexpected failure\n";
  }
  return kExitBadInput;
}

}  // namespace tavi::cli
