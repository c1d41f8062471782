// Starting and stopping the programs under test, in one place: vocaret.exe
// with its winmm trace captured, and the scripted target with a command pipe.
#pragma once

#include <windows.h>

#include <ios>
#include <string>
#include <vector>

// The folder of this test program: vocaret.exe, the target and Sounds are there.
std::string programFolder();

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `commandLine` in `folder`. With `pipes`, its standard input and
    // output are pipes to this process; `errorFile`, when given, receives its
    // standard error (and, without pipes, its standard output). `environment` entries (NAME=value) are added.
    bool start(const std::string& commandLine, const std::string& folder, bool pipes,
               const std::string& errorFile, const std::vector<std::string>& environment);
    // Sends one line and returns the one line answered (empty on timeout).
    std::string command(const std::string& line, DWORD milliseconds = 10000);
    std::string readLine(DWORD milliseconds);
    // Waits for the process to end; returns false on timeout.
    bool wait(DWORD milliseconds);
    DWORD exitCode() const;
    // Takes on a process that another one started, by its id.
    bool adopt(DWORD processId);
    DWORD id() const { return information_.dwProcessId; }
    HANDLE handle() const { return information_.hProcess; }
    void kill();

private:
    PROCESS_INFORMATION information_{};
    HANDLE input_ = nullptr;
    HANDLE output_ = nullptr;
    std::string pending_;
};

// The listener whose main window is what the benchmarks wait for.
struct Listener {
    std::string program;  // with its arguments, if any
    std::string windowClass;
    std::string title;
};
extern const Listener vocaretListener;
// bench/floor_listener.cpp: the least a program can do for the same cues,
// over the same range of events as vocaret.exe.
extern const Listener floorListener;

// vocaret.exe started from the program folder with Wine's winmm trace on, so
// that every PlaySoundA call can be read back.
class Vocaret {
public:
    ChildProcess process;

    // Started in `folder` (default: the program folder), from the vocaret.exe
    // there, or from another listener's program.
    explicit Vocaret(const std::vector<std::string>& extraEnvironment = {},
                     const std::string& folder = programFolder(),
                     const Listener& listener = vocaretListener);
    ~Vocaret();

    // The main window, once it exists (null after `milliseconds`).
    HWND waitForMainWindow(DWORD milliseconds = 20000);
    HWND mainWindow() const { return window_; }

    struct Play {
        std::string sound;
        std::string flags;  // fdwSound as the trace prints it
        double tickMs = -1;  // the call's GetTickCount time, when the trace has +timestamp
    };
    std::vector<Play> plays() const;
    std::vector<std::string> sounds() const;
    // Waits until at least `count` sounds have been played.
    bool waitForSounds(std::size_t count, DWORD milliseconds = 10000) const;

private:
    Listener listener_;
    std::string traceFile_;
    std::streamoff traceStart_ = 0;
    HWND window_ = nullptr;
};

// The scripted target program.
class Target {
public:
    ChildProcess process;
    Target();
    ~Target();
    bool ready() const { return ready_; }
    std::string command(const std::string& line) { return process.command(line); }
    // A counter of the "stats" answer (references, names, locations); -1 if absent.
    int stat(const char* key);
    bool waitForNameQueries(int count, DWORD milliseconds = 10000);
    // Raises `event` (hex) on the scripted element and waits until vocaret
    // has asked for its name: vocaret reads the name when it handles the
    // event, not when it is raised, so the name may change only after that.
    bool raiseAndWait(const std::string& event, DWORD milliseconds = 10000);

private:
    bool ready_ = false;
};

// Moves the cursor to (x, y) and injects a button press and release there.
void clickAt(int x, int y, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP);

// A top-level window of process `processId` with the given class and title.
HWND findWindowOf(DWORD processId, const char* className, const char* title,
                  DWORD milliseconds = 10000);
