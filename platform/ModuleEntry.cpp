// Entry point of ZIDUVIDEZUDIZADUV.dll.
//
// The module was designed as a class-library extension DLL, whose start-up
// initialises an extension-module record and registers the module with the
// class library. That library is not available here, and the image work
// never depends on it: the only process-wide state is the warning flag, which
// is initialised statically. So the entry point has nothing to set up or tear
// down, and it always reports success, so that it can never fail a load.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  // Thread attach and detach are left alone on purpose, without
  // DisableThreadLibraryCalls: the static runtime wants those notifications.
  return TRUE;
}
