// The compression as a person reads its steps: every search starts at the
// first character of the text as it is at that moment, every change is a
// delete or an insert, the working copy is cut by copying its rest, and the
// progress percentage is computed for every position. It is quadratic on
// purpose and obviously faithful; the tests and the benchmark hold
// TCompressionRun (dialog/Compression.h) against it.
//
// Like the fast run it tells the progress bar only when its position changes
// (a failed update leaves the position unknown), and it keeps texts counted:
// a U+0000 is a character like any other.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "dialog/Compression.h"
#include "dialog/MainView.h"
#include "tools/Tools.h"

namespace tavi::model {

// Positions count from 1; 0 means "not found".
inline std::int32_t Pos(std::u16string_view sub, const std::u16string& s) {
  const std::size_t p = s.find(sub);
  return p == std::u16string::npos ? 0 : static_cast<std::int32_t>(p + 1);
}

inline std::int32_t Length(const std::u16string& s) { return static_cast<std::int32_t>(s.size()); }

inline void Delete(std::u16string& s, std::int32_t index, std::int32_t count) {
  if (index < 1 || index > Length(s) || count <= 0) return;
  s.erase(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

inline void Insert(std::u16string_view sub, std::u16string& s, std::int32_t index) {
  if (index < 1) index = 1;
  if (index > Length(s) + 1) index = Length(s) + 1;
  s.insert(static_cast<std::size_t>(index - 1), sub);
}

inline std::u16string Copy(const std::u16string& s, std::int32_t index, std::int32_t count) {
  if (index < 1) index = 1;
  if (index > Length(s) || count <= 0) return {};
  return s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

inline std::u16string TrimLeft(const std::u16string& s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] <= u' ') ++i;
  return s.substr(i);
}

inline std::u16string TrimRight(const std::u16string& s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] <= u' ') --n;
  return s.substr(0, n);
}

inline std::u16string UpperCase(const std::u16string& s) {
  std::u16string u = s;
  for (char16_t& c : u)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return u;
}

constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

class TCompressionModel {
 public:
  explicit TCompressionModel(IMainView& view) : view_(view) {}

  void DoCompress(std::u16string& text) {
    std::u16string input;
    std::u16string output;
    try {
      try {
        // 1
        SetProgress(0);
        changed_ = false;
        replace_ = false;
        // 2
        input = text;
        if (!input.empty()) {
          // 3
          work_ = input;
          view_.ProcessMessages();
          // 4
          upper_ = UpperCase(work_);
          bool finished = true;
          if (Pos(u"<SCRIPT", upper_) != 0 || Pos(u"<PRE", upper_) != 0) {
            // 5
            NormaliseTags();
            // 6
            finished = CompressScripts(output);
          } else {
            // 7
            CompressBlock(work_, changed_);
            if (changed_) {
              output += work_;
              replace_ = true;
            }
          }
          if (finished) {
            // 8
            view_.SetLabelVisible(TLabel::ScriptLabel, false);
            if (replace_) text = output;
          }
        }
      } catch (...) {
        view_.SetLabelVisible(TLabel::ScriptLabel, false);
      }
    } catch (...) {
    }
    // 9
    try {
      view_.SetLabelVisible(TLabel::ScriptLabel, false);
    } catch (...) {
    }
    try {
      view_.SetLabelVisible(TLabel::PreLabel, false);
    } catch (...) {
    }
  }

  void CompressBlock(std::u16string& block, bool& changed) {
    // 1
    const std::u16string entry = block;
    changed = false;
    try {
      // 2
      if (Pos(u"  ", block) != 0) changed = true;
      while (const std::int32_t p = Pos(u"  ", block)) Delete(block, p, 1);
      // 3
      SetProgress(1);
      // 4, 5, 6
      ReplaceBreaks(block, changed, u"\r\n");
      ReplaceBreaks(block, changed, u"\r");
      ReplaceBreaks(block, changed, u"\n");
      // 7
      SetProgress(2);
      // 8
      if (Pos(u"\t", block) != 0) {
        changed = true;
        view_.ProcessMessages();
      }
      while (const std::int32_t p = Pos(u"\t", block)) Delete(block, p, 1);
      // 9
      std::int32_t i = 1;
      while (i <= Length(block)) {
        if (i > 1 && i < Length(block) && block[i - 1] == u' ' && block[i - 2] == u'>' && block[i] == u'<') {
          bool gap = true;
          if (i + 2 <= Length(block) && block[i + 1] == u'a') gap = false;
          if (gap) {
            Delete(block, i, 1);
            changed = true;
          }
        }
        try {
          SetProgress(MyTools->CalculateGauge(i, 0, Length(block)));
        } catch (...) {
        }
        if (i % 50 == 0) view_.ProcessMessages();
        ++i;
      }
      // 10
      block = TrimRight(block);
    } catch (...) {
      block = entry;
      changed = false;
      view_.ShowMessage(TMessageKind::Error, kBlockFailedMessage);
    }
  }

 private:
  void SetProgress(int position) {
    if (progressKnown_ && position == progress_) return;
    progressKnown_ = false;
    view_.SetProgress(position);
    progress_ = position;
    progressKnown_ = true;
  }

  void ReplaceBreaks(std::u16string& block, bool& changed, std::u16string_view lineBreak) {
    if (Pos(lineBreak, block) != 0) {
      changed = true;
      view_.ProcessMessages();
    }
    while (const std::int32_t p = Pos(lineBreak, block)) {
      Delete(block, p, static_cast<std::int32_t>(lineBreak.size()));
      if (p <= Length(block)) {
        const char16_t next = block[static_cast<std::size_t>(p - 1)];
        // One character inserted as such: GCC 12 warns falsely (-Wrestrict)
        // on the inlined insert of a one-character text here.
        if (next != u' ' && next != u'=' && next != u'<' && next != u'>') {
          block.insert(static_cast<std::size_t>(p - 1), 1, u' ');
        }
      }
    }
  }

  void NormaliseTags() {
    static constexpr std::u16string_view kPairs[4][2] = {
        {u"<SCRIPT", u"<script"}, {u"</SCRIPT", u"</script"}, {u"<PRE", u"<pre"}, {u"</PRE", u"</pre"}};
    for (const auto& pair : kPairs) {
      const auto count = static_cast<std::int32_t>(pair[0].size());
      while (const std::int32_t p = Pos(pair[0], upper_)) {
        Delete(upper_, p, count);
        Insert(pair[1], upper_, p);
        Delete(work_, p, count);
        Insert(pair[1], work_, p);
      }
    }
  }

  bool CompressScripts(std::u16string& output) {
    // 1
    view_.SetLabelVisible(TLabel::ScriptLabel, true);
    // 2
    while (Pos(u"<script", work_) != 0) {
      // a
      if (Pos(u"</script>", work_) == 0) {
        view_.ShowMessage(TMessageKind::Error, kMissingScriptEndMessage);
        return false;
      }
      // b
      const std::int32_t s = Pos(u"<script", work_);
      std::u16string before = Copy(work_, 1, s - 1);
      work_ = Copy(work_, s, kMaxInt);
      // c
      const std::int32_t e = Pos(u"</script>", work_);
      const std::u16string section = Copy(work_, 1, e + 8);
      work_ = Copy(work_, e + 9, kMaxInt);
      // d
      if (Pos(u"<pre", before) != 0) {
        std::u16string result;
        if (!CompressOutsidePre(before, result)) return false;
        if (result != before) replace_ = true;
        before = result;
      } else {
        CompressBlock(before, changed_);
      }
      // e
      before = TrimRight(TrimLeft(before));
      output += before;
      if (changed_) replace_ = true;
      // f
      output += TrimRight(section);
    }
    // 3
    if (work_.empty()) return true;
    if (Pos(u"<pre", work_) != 0) {
      std::u16string result;
      if (!CompressOutsidePre(work_, result)) return false;
      if (result != work_) replace_ = true;
      work_ = result;
    } else {
      CompressBlock(work_, changed_);
    }
    // 4
    output += TrimLeft(work_);
    if (changed_) replace_ = true;
    return true;
  }

  bool CompressOutsidePre(std::u16string piece, std::u16string& result) {
    // 1
    result.clear();
    view_.SetLabelVisible(TLabel::PreLabel, true);
    // 2
    while (Pos(u"<pre", piece) != 0) {
      // a
      if (Pos(u"</pre>", piece) == 0) {
        view_.ShowMessage(TMessageKind::Error, kMissingPreEndMessage);
        return false;
      }
      // b
      const std::int32_t s = Pos(u"<pre", piece);
      std::u16string before = Copy(piece, 1, s - 1);
      piece = Copy(piece, s, kMaxInt);
      // c
      const std::int32_t e = Pos(u"</pre>", piece);
      const std::u16string section = Copy(piece, 1, e + 5);
      piece = Copy(piece, e + 6, kMaxInt);
      // d
      CompressBlock(before, changed_);
      result += before;
      result += section;
    }
    // 3
    if (!piece.empty()) {
      CompressBlock(piece, changed_);
      result += piece;
    }
    return true;
  }

  IMainView& view_;
  std::u16string work_;
  std::u16string upper_;
  bool changed_ = false;
  bool replace_ = false;
  int progress_ = 0;
  bool progressKnown_ = false;
};

}  // namespace tavi::model
