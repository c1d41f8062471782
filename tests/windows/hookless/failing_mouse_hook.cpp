// Linked into a copy of vocaret.exe in place of user32's SetWindowsHookExA,
// whose import it answers: the mouse hook cannot be installed, as when the
// desktop refuses it, a fault that cannot be made to happen on demand.
#include <windows.h>

namespace {

HHOOK WINAPI failToInstallHook(int, HOOKPROC, HINSTANCE, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

}  // namespace

// The program calls through this import slot; defined here, the linker takes
// it before user32's import library.
#if defined(_WIN64)
extern "C" HHOOK(WINAPI* const failingSetWindowsHookEx)(int, HOOKPROC, HINSTANCE, DWORD) __asm__(
    "__imp_SetWindowsHookExA");
#else
extern "C" HHOOK(WINAPI* const failingSetWindowsHookEx)(int, HOOKPROC, HINSTANCE, DWORD) __asm__(
    "__imp__SetWindowsHookExA@16");
#endif
extern "C" HHOOK(WINAPI* const failingSetWindowsHookEx)(int, HOOKPROC, HINSTANCE,
                                                        DWORD) = failToInstallHook;
