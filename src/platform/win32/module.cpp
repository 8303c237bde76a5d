// The module entry of the Windows DLL. The C run time's own entry point
// initialises the run time before it calls DllMain and shuts it down after
// the last call; the library itself has nothing to set up or release: it
// holds no state, and handles a host left open stay the host's.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}
