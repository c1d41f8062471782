// Prints what a Windows shortcut (.lnk) starts, one field a line:
//   target=<path>
//   workdir=<folder>
//   arguments=<arguments>
// Usage: read_shortcut SHORTCUT.lnk   (exit status 0 only when it was read)
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

namespace {

int readShortcut(const wchar_t* path) {
    IShellLinkA* link = nullptr;
    HRESULT result =
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link));
    if (FAILED(result)) {
        std::printf("read_shortcut: CoCreateInstance failed 0x%08lx\n",
                    static_cast<unsigned long>(result));
        return 1;
    }
    IPersistFile* file = nullptr;
    result = link->QueryInterface(IID_PPV_ARGS(&file));
    if (SUCCEEDED(result)) {
        result = file->Load(path, STGM_READ);
        file->Release();
    }
    if (FAILED(result)) {
        std::printf("read_shortcut: cannot load the shortcut 0x%08lx\n",
                    static_cast<unsigned long>(result));
        link->Release();
        return 1;
    }
    char target[MAX_PATH] = {};
    char workdir[MAX_PATH] = {};
    char arguments[1024] = {};
    const bool ok = SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                    SUCCEEDED(link->GetWorkingDirectory(workdir, MAX_PATH)) &&
                    SUCCEEDED(link->GetArguments(arguments, sizeof arguments));
    link->Release();
    if (!ok) {
        std::puts("read_shortcut: cannot read the shortcut's fields");
        return 1;
    }
    std::printf("target=%s\nworkdir=%s\narguments=%s\n", target, workdir, arguments);
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 2) {
        std::puts("usage: read_shortcut SHORTCUT.lnk");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::puts("read_shortcut: CoInitializeEx failed");
        return 1;
    }
    const int status = readShortcut(argv[1]);
    CoUninitialize();
    LocalFree(argv);
    return status;
}
