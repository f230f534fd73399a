// A DLL with the toolbox linked in and a string table of its own, loaded by
// the Windows tests to see that the toolbox reads the resources of the
// module that holds it (as in Tavi.dll), not those of the program, and that
// MyTools lives from before the DLL's other static objects to after them.
#include <windows.h>

#include <cstring>
#include <string>

#include "tools/ResourceFormat.h"
#include "tools/Tools.h"
#include "ToolsProbeWatch.h"

namespace {

bool gToolsAtAttach = false;

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD Reason, LPVOID) {
  // The runtime has run the static initialisers by now.
  if (Reason == DLL_PROCESS_ATTACH) gToolsAtAttach = tavi::MyTools != nullptr;
  return TRUE;
}

__declspec(dllexport) int ToolsProbeToolsAtAttach() { return gToolsAtAttach ? 1 : 0; }
__declspec(dllexport) int ToolsProbeToolsAtStart() {
  return tavi::test::gWatch.toolsAtStart ? 1 : 0;
}
// At unload, *ToolsAtEnd is set to whether MyTools was still there.
__declspec(dllexport) void ToolsProbeWatchUnload(int* ToolsAtEnd) {
  tavi::test::gWatch.toolsAtEnd = ToolsAtEnd;
}

// LoadStrResource(ResID, Value) into Buffer; the length, or -1 when Size is
// too small or the template raised its error.
__declspec(dllexport) int ToolsProbeLoadStrResource(int ResID, const char16_t* Value,
                                                    char16_t* Buffer, int Size) {
  try {
    const std::u16string text = tavi::MyTools->LoadStrResource(ResID, Value);
    if (static_cast<int>(text.size()) >= Size) return -1;
    std::memcpy(Buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return static_cast<int>(text.size());
  } catch (const tavi::TConvertError&) {
    return -1;
  }
}

}  // extern "C"
