#include "child_process.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

std::string programFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/"));
}

ChildProcess::~ChildProcess() {
    kill();
    if (input_ != nullptr) {
        CloseHandle(input_);
    }
    if (output_ != nullptr) {
        CloseHandle(output_);
    }
    if (information_.hProcess != nullptr) {
        CloseHandle(information_.hProcess);
        if (information_.hThread != nullptr) {
            CloseHandle(information_.hThread);
        }
    }
}

bool ChildProcess::start(const std::string& commandLine, const std::string& folder, bool pipes,
                         const std::string& errorFile,
                         const std::vector<std::string>& environment) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    HANDLE childError = nullptr;
    if (pipes) {
        CreatePipe(&childInput, &input_, &inherit, 0);
        SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        CreatePipe(&output_, &childOutput, &inherit, 0);
        SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
    }
    if (!errorFile.empty()) {
        childError = CreateFileA(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        startup.hStdError = childError;
    }

    // The environment block: ours, with the additions in front (first wins).
    std::string block;
    for (const std::string& entry : environment) {
        block += entry;
        block.push_back('\0');
    }
    char* own = GetEnvironmentStringsA();
    for (const char* entry = own; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const std::string text(entry);
        bool replaced = false;
        for (const std::string& added : environment) {
            const std::string name = added.substr(0, added.find('=') + 1);
            if (_strnicmp(text.c_str(), name.c_str(), name.size()) == 0) {
                replaced = true;
            }
        }
        if (!replaced) {
            block += text;
            block.push_back('\0');
        }
    }
    FreeEnvironmentStringsA(own);
    block.push_back('\0');

    std::string mutableLine = commandLine;
    const BOOL started = CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0,
                                        block.data(), folder.c_str(), &startup, &information_);
    for (HANDLE handle : {childInput, childOutput, childError}) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
    return started != FALSE;
}

std::string ChildProcess::readLine(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        DWORD available = 0;
        if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) {
            return {};
        }
        if (available == 0) {
            if (GetTickCount64() > deadline) {
                return {};
            }
            Sleep(2);
            continue;
        }
        char buffer[4096];
        DWORD read = 0;
        ReadFile(output_, buffer, sizeof buffer < available ? sizeof buffer : available, &read,
                 nullptr);
        pending_.append(buffer, read);
    }
}

std::string ChildProcess::command(const std::string& line, DWORD milliseconds) {
    const std::string withEnd = line + "\n";
    DWORD written = 0;
    WriteFile(input_, withEnd.data(), static_cast<DWORD>(withEnd.size()), &written, nullptr);
    return readLine(milliseconds);
}

bool ChildProcess::wait(DWORD milliseconds) {
    return information_.hProcess != nullptr &&
           WaitForSingleObject(information_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

DWORD ChildProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(information_.hProcess, &code);
    return code;
}

bool ChildProcess::adopt(DWORD processId) {
    information_.hProcess =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, processId);
    information_.dwProcessId = processId;
    return information_.hProcess != nullptr;
}

void ChildProcess::kill() {
    if (information_.hProcess != nullptr && exitCode() == STILL_ACTIVE) {
        TerminateProcess(information_.hProcess, 99);
        WaitForSingleObject(information_.hProcess, 5000);
    }
}

namespace {

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* title;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[256] = {};
    char title[256] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (owner == search->processId && std::strcmp(className, search->className) == 0 &&
        (search->title == nullptr || std::strcmp(title, search->title) == 0)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND findWindowOf(DWORD processId, const char* className, const char* title,
                  DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        WindowSearch search{processId, className, title, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr && IsWindowVisible(search.found)) {
            return search.found;
        }
        Sleep(20);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::string traceFile() {
    char path[MAX_PATH] = {};
    GetEnvironmentVariableA("VOCARET_WINE_STDERR", path, MAX_PATH);
    std::string file(path);
    return !file.empty() && file[0] == '/' ? "Z:" + file : file;
}

const Listener vocaretListener{"vocaret.exe", "myWindowClass", "Vocaret"};
const Listener floorListener{"vocaret_floor.exe whole-range", "vocaretFloor", "Vocaret floor"};

Vocaret::Vocaret(const std::vector<std::string>& extraEnvironment, const std::string& folder,
                 const Listener& listener)
    : listener_(listener), traceFile_(traceFile()) {
    // Wine writes a program's trace to the unix standard error it inherits
    // from the first Wine program of the run, whatever handles it is given:
    // the wrapper that started this test collects that in a file. Only what
    // arrives after this start belongs to this copy of vocaret.
    std::ifstream trace(traceFile_, std::ios::binary | std::ios::ate);
    traceStart_ = trace ? static_cast<std::streamoff>(trace.tellg()) : 0;
    std::vector<std::string> environment = {"WINEDEBUG=-all,trace+winmm,+timestamp"};
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    const std::size_t blank = listener_.program.find(' ');
    const std::string program = listener_.program.substr(0, blank);
    const std::string arguments = blank == std::string::npos ? "" : listener_.program.substr(blank);
    process.start("\"" + folder + "\\" + program + "\"" + arguments, folder, false, "",
                  environment);
}

Vocaret::~Vocaret() {
    process.kill();
}

HWND Vocaret::waitForMainWindow(DWORD milliseconds) {
    window_ = findWindowOf(process.id(), listener_.windowClass.c_str(), listener_.title.c_str(),
                           milliseconds);
    if (window_ != nullptr) {
        // The window shows before the subscription starts; a sent message is
        // answered only from the message loop, which runs after it.
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds, &result);
    }
    return window_;
}

std::vector<Vocaret::Play> Vocaret::plays() const {
    std::ifstream trace(traceFile_, std::ios::binary);
    trace.seekg(traceStart_);
    std::vector<Play> found;
    std::string line;
    std::string flags;
    double tickMs = -1;
    while (std::getline(trace, line)) {
        // "MULTIMEDIA_PlaySound pszSound=... hmod=... fdwSound=00020001", then
        // "proc_PlaySound SoundName=L"Sounds\\Save.wav" !" from the player.
        const std::size_t flagsAt = line.find("fdwSound=");
        if (line.find("MULTIMEDIA_PlaySound") != std::string::npos && flagsAt != std::string::npos) {
            flags = line.substr(flagsAt + 9, 8);
            // With +timestamp a line starts "seconds.milliseconds:thread:".
            tickMs = line[0] >= '0' && line[0] <= '9' && line.find('.') < line.find(':')
                         ? std::stod(line.substr(0, line.find(':'))) * 1000.0
                         : -1;
        }
        const std::string marker = "proc_PlaySound SoundName=L\"";
        const std::size_t at = line.find(marker);
        if (at == std::string::npos) {
            continue;
        }
        const std::size_t start = at + marker.size();
        std::string escaped = line.substr(start, line.find('"', start) - start);
        std::string sound;
        for (std::size_t i = 0; i < escaped.size(); ++i) {
            if (escaped[i] == '\\' && i + 1 < escaped.size()) {
                ++i;
            }
            sound.push_back(escaped[i]);
        }
        found.push_back({sound, flags, tickMs});
    }
    return found;
}

std::vector<std::string> Vocaret::sounds() const {
    std::vector<std::string> names;
    for (const Play& play : plays()) {
        names.push_back(play.sound);
    }
    return names;
}

bool Vocaret::waitForSounds(std::size_t count, DWORD milliseconds) const {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (plays().size() < count) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

Target::Target() {
    process.start("\"" + programFolder() + "\\vocaret_target.exe\"", programFolder(), true, "",
                  {"WINEDEBUG=-all"});
    ready_ = process.readLine(20000) == "ok ready";
}

int Target::stat(const char* key) {
    std::istringstream stats(command("stats"));
    const std::string prefix = std::string(key) + "=";
    std::string field;
    while (stats >> field) {
        if (field.rfind(prefix, 0) == 0) {
            return std::stoi(field.substr(prefix.size()));
        }
    }
    return -1;
}

bool Target::waitForNameQueries(int count, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (stat("names") < count) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(5);
    }
    return true;
}

bool Target::raiseAndWait(const std::string& event, DWORD milliseconds) {
    const int before = stat("names");
    return command("raise " + event) == "ok" && waitForNameQueries(before + 1, milliseconds);
}

void clickAt(int x, int y, DWORD down, DWORD up) {
    SetCursorPos(x, y);
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = down;
    inputs[1].mi.dwFlags = up;
    SendInput(2, inputs, sizeof(INPUT));
}

Target::~Target() {
    process.command("quit", 2000);
    if (!process.wait(3000)) {
        process.kill();
    }
}
