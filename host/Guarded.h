// Host buffers that catch a plug-in writing (or reading) past the room it
// was given, rather than letting it corrupt the host's heap unseen. Used by
// HostMain.cpp for every buffer it passes.
//
// Two placements:
// - GuardUnits: guard units follow the buffer; an overrun shows after the
//   call as a changed guard.
// - PageEnd: the buffer's last unit ends a page and the next page is
//   inaccessible, so the first unit read or written past the end faults at
//   once. The fault is reported by the handler that InstallGuardPageHandler
//   sets up, which names the buffer.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace host {

enum class Placement { GuardUnits, PageEnd };

// Notes an inaccessible page and the buffer it stands behind, for the fault
// handler; Forget removes the note when the buffer goes.
void RememberGuardPage(const void* page, std::size_t bytes, const wchar_t* buffer);
void ForgetGuardPage(const void* page);

// Reports an access to one of the remembered pages as "fault: ..." on
// standard output and ends the process with exit code 3.
void InstallGuardPageHandler();

template <typename Unit>
class GuardedBuffer {
 public:
  static constexpr std::size_t kGuardUnits = 16;

  // capacity: the units the plug-in may write. Every unit starts as fill, so
  // that what the plug-in wrote can be told from what it left alone. name
  // appears in a fault report and must outlive the buffer.
  GuardedBuffer(std::size_t capacity, Unit fill, Unit guard, Placement placement, const wchar_t* name)
      : capacity_(capacity), fill_(fill), guard_(guard), placement_(placement) {
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    const std::size_t used =
        (capacity + (placement == Placement::GuardUnits ? kGuardUnits : 0)) * sizeof(Unit);
    const std::size_t usedPages = (used + page - 1) / page;
    reserved_ = (usedPages + 1) * page;
    base_ = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, reserved_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (base_ == nullptr) throw std::runtime_error("cannot allocate a host buffer");
    std::uint8_t* const guardPage = base_ + usedPages * page;
    DWORD old = 0;
    if (!VirtualProtect(guardPage, page, PAGE_NOACCESS, &old)) {
      VirtualFree(base_, 0, MEM_RELEASE);
      throw std::runtime_error("cannot protect the page behind a host buffer");
    }
    guardPage_ = guardPage;
    RememberGuardPage(guardPage_, page, name);
    // Both placements end the used units at the inaccessible page; with
    // guard units those stand between the buffer and the page.
    units_ = reinterpret_cast<Unit*>(guardPage - used);
    for (std::size_t i = 0; i < capacity_; ++i) units_[i] = fill_;
    if (placement_ == Placement::GuardUnits) {
      for (std::size_t i = 0; i < kGuardUnits; ++i) units_[capacity_ + i] = guard_;
    }
  }
  ~GuardedBuffer() {
    ForgetGuardPage(guardPage_);
    VirtualFree(base_, 0, MEM_RELEASE);
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  Unit* data() { return units_; }
  const Unit* data() const { return units_; }
  std::size_t capacity() const { return capacity_; }
  Placement placement() const { return placement_; }

  // With the page placement an overrun never returns, so the guard is
  // intact whenever it can be asked.
  bool GuardIntact() const {
    if (placement_ == Placement::PageEnd) return true;
    for (std::size_t i = 0; i < kGuardUnits; ++i) {
      if (units_[capacity_ + i] != guard_) return false;
    }
    return true;
  }

  // "intact", "broken" or "page" for the report lines.
  const wchar_t* GuardWord() const {
    if (placement_ == Placement::PageEnd) return L"page";
    return GuardIntact() ? L"intact" : L"broken";
  }

  // One past the last unit inside the capacity that no longer holds the
  // fill: 0 when the buffer is untouched.
  std::size_t WrittenExtent() const {
    for (std::size_t i = capacity_; i > 0; --i) {
      if (units_[i - 1] != fill_) return i;
    }
    return 0;
  }

 private:
  std::size_t capacity_;
  Unit fill_;
  Unit guard_;
  Placement placement_;
  std::uint8_t* base_ = nullptr;
  std::uint8_t* guardPage_ = nullptr;
  std::size_t reserved_ = 0;
  Unit* units_ = nullptr;
};

}  // namespace host
