#pragma once

// What a test needs to know of the platform it runs on.

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace corvane::testing {

// Wine stands in for Windows in CI; some of Windows' services it does not have.
inline bool runningUnderWine()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

} // namespace corvane::testing
