// A library planted beside a program under the name of a system one, as
// somebody could drop it into a Downloads folder. It does nothing but leave
// a mark that it ran: a file named after itself with ".ran" added.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            const std::string mark = std::string(path, length) + ".ran";
            CloseHandle(CreateFileA(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    return TRUE;
}
