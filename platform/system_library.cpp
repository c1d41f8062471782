#include "system_library.h"

#include <cstring>

HMODULE loadSystemLibrary(const char* name) {
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    // A loader that does not know the flag (Windows 7 without its loader
    // update): the full path of the system folder, never the bare name.
    char path[MAX_PATH];
    const UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
    const std::size_t nameLength = std::strlen(name);
    if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH) {
        return nullptr;
    }
    path[folderLength] = '\\';
    std::memcpy(path + folderLength + 1, name, nameLength + 1);
    // The library's own imports are then looked for beside it first.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void restrictLibrarySearchToSystemFolder() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = systemFunction<SetDefaultDllDirectoriesFunction>(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr) {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}
