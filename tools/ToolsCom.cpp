#include <windows.h>
#include <oleauto.h>

#include "tools/Tools.h"

namespace tavi {

BSTR TMyTools::TrimAll(BSTR Ganz_String) const {
  // SysStringLen reads the length prefix, so embedded NULs count as text,
  // and it gives 0 for a null BSTR.
  const UINT length = SysStringLen(Ganz_String);
  UINT kept = 0;
  for (UINT i = 0; i < length; ++i)
    if (Ganz_String[i] != L' ') ++kept;
  BSTR result = SysAllocStringLen(nullptr, kept);
  if (result == nullptr) return nullptr;
  UINT out = 0;
  for (UINT i = 0; i < length; ++i)
    if (Ganz_String[i] != L' ') result[out++] = Ganz_String[i];
  return result;
}

}  // namespace tavi
