// An ordinary static object of the probe DLL (ToolsProbeDll.cpp), like those
// of the dialog and entity modules in Tavi.dll. It is linked in after the
// toolbox, so that without the toolbox's own ordering its constructor would
// run first and its destructor last: MyTools must be there in both.
#pragma once

namespace tavi::test {

struct Watch {
  Watch();
  ~Watch();
  bool toolsAtStart = false;
  int* toolsAtEnd = nullptr;  // Set at unload to whether MyTools was there.
};

extern Watch gWatch;

}  // namespace tavi::test
