// Throughput of DoCompress and ConvertSpecialChars on generated "real pages",
// in MB/s of the document saved as UTF-8, and the peak memory of one run as a
// multiple of the document's UTF-16 size. The step-by-step model runs on the
// smaller documents beside the engine, with the ratio of their times. Times
// are processor times of the benchmark thread.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "bench/BenchDocument.h"
#include "dialog/Compression.h"
#include "dialog/CompressionModel.h"
#include "dialog/MainView.h"
#include "html/HTMTools.h"

// --- Counting allocator -------------------------------------------------------------
//
// Every allocation carries its size in a header, so the bytes alive and their
// peak are known exactly. The program is single-threaded.

namespace {
constexpr std::size_t kHeader = 16;
std::size_t gLive = 0;
std::size_t gPeak = 0;

void* Allocate(std::size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  gLive += size;
  gPeak = std::max(gPeak, gLive);
  return static_cast<char*>(block) + kHeader;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  char* block = static_cast<char*>(p) - kHeader;
  gLive -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}

// Starts a peak measurement; returns the bytes alive now.
std::size_t StartPeak() {
  gPeak = gLive;
  return gLive;
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace tavi {
namespace {

// A window whose calls cost nothing but a count.
class NullView : public IMainView {
 public:
  long progress = 0;
  long processed = 0;
  void SetToolBarEnabled(bool) override {}
  void SetButtonEnabled(TToolButton, bool) override {}
  void SetLabelCaption(TLabel, std::u16string_view) override {}
  void SetLabelVisible(TLabel, bool) override {}
  void SetProgress(int) override { ++progress; }
  void SetWaitCursor(bool) override {}
  void ShowMessage(TMessageKind, std::u16string_view) override {}
  void ProcessMessages() override { ++processed; }
  void Close() override {}
};

const std::u16string& Pages(std::size_t utf8Bytes) {
  static std::map<std::size_t, std::u16string> documents;
  auto it = documents.find(utf8Bytes);
  if (it == documents.end()) it = documents.emplace(utf8Bytes, bench::RealPages(utf8Bytes)).first;
  return it->second;
}

// The same pages with their section tags in capitals, which the run must
// bring to lower case in a copy of the text.
const std::u16string& CapitalPages(std::size_t utf8Bytes) {
  static std::map<std::size_t, std::u16string> documents;
  auto it = documents.find(utf8Bytes);
  if (it == documents.end()) {
    std::u16string text = Pages(utf8Bytes);
    for (const std::u16string_view tag : {u"<script", u"</script", u"<pre", u"</pre"}) {
      for (std::size_t p = text.find(tag); p != std::u16string::npos; p = text.find(tag, p + 1)) {
        for (std::size_t i = p; i < p + tag.size(); ++i)
          if (text[i] >= u'a' && text[i] <= u'z') text[i] = static_cast<char16_t>(text[i] - (u'a' - u'A'));
      }
    }
    it = documents.emplace(utf8Bytes, std::move(text)).first;
  }
  return it->second;
}

constexpr std::size_t kKB = 1000;
constexpr std::size_t kMB = 1000 * 1000;

// This thread's processor time in seconds: on a shared machine it measures
// the work, where the wall clock also counts the other processes' turns.
double CpuSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double MaxRssMB() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// With a warm heap the large buffers come back from the allocator already
// mapped, so the run pays no page faults: the engine's own cost. Without it
// every run maps fresh pages for its output, as a first run in the editor does.
class WarmHeap {
 public:
  explicit WarmHeap(bool warm) : warm_(warm) {
    if (warm_) {
      mallopt(M_MMAP_THRESHOLD, 512 * 1024 * 1024);
      mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    }
  }
  ~WarmHeap() {
    if (warm_) {
      mallopt(M_MMAP_THRESHOLD, 128 * 1024);
      mallopt(M_TRIM_THRESHOLD, 128 * 1024);
      malloc_trim(0);
    }
  }

 private:
  bool warm_;
};

void BM_Compress(benchmark::State& state) {
  const WarmHeap heap(state.range(1) != 0);
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::u16string& document = state.range(2) != 0 ? CapitalPages(size) : Pages(size);
  const std::size_t utf16Bytes = document.size() * sizeof(char16_t);
  NullView view;
  std::size_t peakExtra = 0;
  std::size_t result = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::u16string text = document;
    const std::size_t base = StartPeak();
    state.ResumeTiming();

    TCompressionRun run(view);
    run.DoCompress(text);

    state.PauseTiming();
    peakExtra = std::max(peakExtra, gPeak - base);
    result = text.size();
    benchmark::DoNotOptimize(text.data());
    text = std::u16string();
    state.ResumeTiming();
  }
  const double iterations = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bench::Utf8Size(document)) * state.iterations());
  // The caller's text plus everything the run allocated at its peak.
  state.counters["peak_x_utf16"] = static_cast<double>(utf16Bytes + peakExtra) / static_cast<double>(utf16Bytes);
  state.counters["kept_%"] = 100.0 * static_cast<double>(result) / static_cast<double>(document.size());
  state.counters["progress_calls"] = static_cast<double>(view.progress) / iterations;
  state.counters["process_calls"] = static_cast<double>(view.processed) / iterations;
  state.counters["maxrss_MB"] = MaxRssMB();
}
BENCHMARK(BM_Compress)
    ->ArgNames({"utf8_bytes", "warm_heap", "capital_tags"})
    ->Args({10 * kMB, 0, 0})
    ->Args({10 * kMB, 1, 0})
    ->Args({10 * kMB, 1, 1})
    ->Args({1 * kMB, 0, 0})
    ->Args({1 * kMB, 1, 0})
    ->Args({100 * kKB, 1, 0})
    ->Unit(benchmark::kMillisecond);

// The step-by-step model; x_slower is its processor time over the engine's
// on the same document (the engine's best of five runs).
void BM_Model(benchmark::State& state) {
  const std::u16string& document = Pages(static_cast<std::size_t>(state.range(0)));
  NullView view;
  std::u16string text;
  double fastBest = 1e9;
  for (int i = 0; i < 5; ++i) {
    text = document;
    const double start = CpuSeconds();
    TCompressionRun run(view);
    run.DoCompress(text);
    fastBest = std::min(fastBest, CpuSeconds() - start);
  }
  const std::u16string fastResult = text;
  double modelTotal = 0;
  for (auto _ : state) {
    state.PauseTiming();
    text = document;
    state.ResumeTiming();
    const double start = CpuSeconds();
    model::TCompressionModel run(view);
    run.DoCompress(text);
    modelTotal += CpuSeconds() - start;
  }
  if (text != fastResult) state.SkipWithError("the model and the engine disagree on the document");
  state.SetBytesProcessed(static_cast<std::int64_t>(bench::Utf8Size(document)) * state.iterations());
  state.counters["x_slower"] = modelTotal / static_cast<double>(state.iterations()) / fastBest;
}
BENCHMARK(BM_Model)->Arg(100 * kKB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Model)->Arg(1 * kMB)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ConvertSpecialChars(benchmark::State& state) {
  const WarmHeap heap(state.range(1) != 0);
  const std::u16string& document = Pages(static_cast<std::size_t>(state.range(0)));
  TCharCodeSet markup;
  markup.set('&').set('<').set('>');
  std::int32_t count = 0;
  std::size_t peakExtra = 0;
  for (auto _ : state) {
    const std::size_t base = StartPeak();
    std::u16string converted = ConvertSpecialChars(count, document, false, markup);
    benchmark::DoNotOptimize(converted.data());
    peakExtra = std::max(peakExtra, gPeak - base);
  }
  const std::size_t utf16Bytes = document.size() * sizeof(char16_t);
  state.SetBytesProcessed(static_cast<std::int64_t>(bench::Utf8Size(document)) * state.iterations());
  state.counters["replaced"] = count;
  state.counters["peak_x_utf16"] = static_cast<double>(utf16Bytes + peakExtra) / static_cast<double>(utf16Bytes);
}
BENCHMARK(BM_ConvertSpecialChars)
    ->ArgNames({"utf8_bytes", "warm_heap"})
    ->Args({10 * kMB, 0})
    ->Args({10 * kMB, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavi

BENCHMARK_MAIN();
