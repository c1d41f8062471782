// The platform's libraries, from the system folder only. Windows looks for
// a DLL that is not a known system one in the program's own folder first,
// and the program is unpacked anywhere, the Downloads folder included: a DLL
// of the same name put there must never run.
#pragma once

#include <windows.h>

// Loads NAME from the system folder; null when it is not there.
HMODULE loadSystemLibrary(const char* name);

// Makes the system folder the only place where libraries loaded later (by
// the system's own libraries too) are looked for. Where the platform lacks
// the call, the explicit system-folder loads still hold.
void restrictLibrarySearchToSystemFolder();

// The address of FUNCTION in MODULE as a function pointer of type F; null
// when the module or the function is missing.
template <class F>
F systemFunction(HMODULE module, const char* function) {
    if (module == nullptr) {
        return nullptr;
    }
    // Through a plain function pointer type: FARPROC's own signature is
    // not the function's.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, function)));
}
