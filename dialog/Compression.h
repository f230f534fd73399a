// The compression run of the dialog: compresses HTML text outside its script
// and pre sections, moving the dialog's progress bar and letting window
// messages through as it goes. One TCompressionRun lives for one
// TMainSonderZPlugin::DoCompress call and reaches the window through IMainView.
//
// The rules are those of a step-by-step reading (collapse spaces, replace line
// breaks, drop tabs, close tag gaps, each step searching the block afresh),
// but every step is a single pass with read and write positions: the run is
// linear in the text's length, allocates its output once, and calls the view
// at the same points with the same progress positions. The progress bar is
// told only when its position changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/MainView.h"

namespace tavi {

inline constexpr std::u16string_view kBlockFailedMessage = u"Exception während der Komprimierung des HTML Blocks!";
inline constexpr std::u16string_view kMissingScriptEndMessage =
    u"Im Text fehlt das Ende des Scripts! Bearbeitung abgebrochen!";
inline constexpr std::u16string_view kMissingPreEndMessage =
    u"Im Text fehlt das Ende des Pre-Bereichs! Bearbeitung abgebrochen!";

class TCompressionRun {
 public:
  explicit TCompressionRun(IMainView& view) : view_(view) {}
  TCompressionRun(const TCompressionRun&) = delete;
  TCompressionRun& operator=(const TCompressionRun&) = delete;

  // Compresses text in place; replaces it only when a counted change was made
  // and no section end was missing. Raises nothing.
  void DoCompress(std::u16string& text);

  // Compresses one block: changed tells whether a counted step changed it (a
  // trim of trailing blanks alone does not count). On a failure the block is
  // left as it came, changed is false and the error box has been shown.
  void CompressBlock(std::u16string& block, bool& changed);

 private:
  bool CompressScripts();
  // Appends the compressed piece work_[begin, end) to the output; differs
  // tells whether what was appended (before trimLeft) differs from the piece.
  bool CompressOutsidePre(std::size_t begin, std::size_t end, bool trimLeft, bool& differs);
  // Appends block compressed to the output, without its leading blanks when
  // trimLeft is set. Returns whether the result (leading blanks counted)
  // differs from block.
  bool CompressBlockInto(std::u16string_view block, bool trimLeft);

  std::size_t CloseTagGaps(char16_t* u, std::size_t length, std::size_t skip);
  void EmitPasses(std::int64_t first, std::int64_t last, std::int64_t length);
  void HandlePass(std::int64_t pass, std::int64_t length);
  void CheckGauge(std::int64_t pass, std::int64_t length);

  // The first section tag of a kind at or after from (from never decreases
  // for a kind during a run), or npos.
  std::size_t NextTag(int kind, std::size_t from);

  void SetProgress(int position);
  // Makes room for count code units after outLength_ (within the capacity
  // reserved at the start, so it never reallocates).
  void Reserve(std::size_t count);
  void Append(std::u16string_view text);
  void TrimOutputRight(std::size_t mark);

  IMainView& view_;

  // The text being cut into pieces: the caller's text itself, or a copy of it
  // when some section tags had to be brought to lower case.
  std::u16string_view work_;
  std::u16string lowered_;
  // Positions of "<script", "</script>", "<pre" and "</pre>" in work_.
  std::vector<std::uint32_t> tags_[4];
  std::size_t cursor_[4] = {};
  // The output, allocated once at the text's length (the result never grows)
  // and used up to outLength_.
  std::u16string out_;
  std::size_t outLength_ = 0;

  bool changed_ = false;
  bool replace_ = false;

  int progress_ = 0;
  bool progressKnown_ = false;

  // The tag-gap step's progress: the percentage for the current pass, the
  // first pass at which it changes for the block's current length, and the
  // next 50th pass.
  int gauge_ = 0;
  std::int64_t gaugeBoundary_ = 1;
  std::int64_t next50_ = 50;
  // The first pass from which EmitPasses has something to do.
  std::int64_t nextEvent_ = 1;
  bool firstPass_ = true;
  bool gaugeEveryPass_ = false;
  // The passes of the tag gaps closed in the current batch.
  std::array<std::uint32_t, 512> gapPasses_{};
};

}  // namespace tavi
