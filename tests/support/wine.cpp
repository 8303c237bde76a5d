// Whether a Windows test program runs under Wine: Wine's ntdll exports
// wine_get_version, which no Windows ntdll has.
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qtest {

bool runningUnderWine() {
#ifdef _WIN32
    static const bool underWine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return underWine;
#else
    return false;
#endif
}

}  // namespace qtest
