// vocaret_target: another process for the program's tests, with real
// standard buttons and a scripted accessible element. It reads one command a
// line on standard input, runs it on its UI thread and answers one line
// ("ok ..." or "error ...") on standard output. Commands:
//   name TEXT            the element's name (\t, \0, \\ and \uXXXX are escapes)
//   name-absent          get_accName answers S_OK with no string
//   name-result HEX      get_accName's result
//   name-write-anyway 0|1  write the name even when the result is not S_OK
//   rect L T W H         the rectangle accLocation reports
//   location-result HEX  accLocation's result
//   raise HEX            NotifyWinEvent(HEX, element, OBJID_CLIENT, CHILDID_SELF)
//   focus-button N       gives keyboard focus to button N (0..2)
//   button-rect N        prints button N's screen rectangle
//   dialog               opens a window of its own with a standard "Mentés"
//                        button and focuses it; prints the button's rectangle
//   focus-dialog-button  focuses its button again, raising the focus itself
//   close-dialog         closes it as a dialog closes: its hide, then at once
//                        its window destroyed
//   stats                references held, name and location queries and
//                        WM_GETOBJECT requests so far
//   name-long N          a name of N code units
//   flood N HEX          raises event HEX on the element N times, at once
//   name-delay MS        the next name query answers after MS milliseconds
//   name-delay-every MS  every name query from now on answers after MS ms
//   raise-every MS FOR HEX  another thread raises HEX on the element every MS
//                        milliseconds for FOR milliseconds; answers at once
//   child-name I TEXT    child I of the element is named TEXT
//   child-prefix TEXT    every other child I is named TEXT followed by I
//   raise-child HEX I    NotifyWinEvent(HEX, element, OBJID_CLIENT, I)
//   raise-then-child HEX MS I  raises HEX on the element, and another thread
//                        raises it on child I MS milliseconds later, while
//                        the UI thread may be answering a slow name query
//   busy RATE FOR N SHOW  another thread raises RATE events a second for FOR
//                        milliseconds on children 1..N in turn, of kinds that
//                        change no cue (location, name, state, value,
//                        selection, reorder, create, destroy), every SHOW-th
//                        one a show instead (0: none); answers at once
//   busy-focus RATE FOR N  the same with focus events only
//   element-window       prints the element's window handle
//   hung-threads N MS EVERY FOR  N more UI threads, each with a window named
//                        "Mentés" whose every name query takes MS ms, as
//                        threads blocked on one lock; another thread raises
//                        a focus on each window every EVERY ms for FOR ms
//   die-in-name-query    the next name query ends this process instead
//   hang MS              the UI thread stops answering for MS milliseconds,
//                        starting after this command has been answered
//   raise-and-hang HEX MS  after this command has been answered, the UI thread
//                        raises HEX on the element and at once stops answering
//                        for MS milliseconds: the object request (WM_GETOBJECT)
//                        that the event brings waits for the whole hang
//   play-restarted FILE MS  plays FILE of the Sounds folder beside this program
//                        through PlaySoundA as if started again MS milliseconds
//                        in: its first MS ms, then the whole file (a 16-bit PCM
//                        WAV with its data chunk last)
//   quit
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "scripted_window.h"

namespace {

constexpr UINT commandMessage = WM_APP + 1;
constexpr UINT hangMessage = WM_APP + 2;
constexpr UINT raiseAndHangMessage = WM_APP + 3;
const char* const buttonTexts[] = {"&Mentés", "Vissza", "Mentés másként"};
HWND mainWindow = nullptr;
HWND buttons[3] = {};
HWND dialog = nullptr;
ScriptedWindow* element = nullptr;

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::wstring unescape(const std::string& text) {
    std::string raw;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            if (next == 'u' && i + 4 < text.size()) {
                // A code unit of its own, paired or not: kept apart from the UTF-8.
                raw.push_back('\x01');
                raw.append(text, i + 1, 4);
                i += 4;
                continue;
            }
            raw.push_back(next == 't' ? '\t' : next == '0' ? '\0' : next);
        } else {
            raw.push_back(text[i]);
        }
    }
    // Convert piecewise so that NULs and single code units survive.
    std::wstring wide;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= raw.size(); ++i) {
        if (i == raw.size() || raw[i] == '\0' || raw[i] == '\x01') {
            wide += widen(raw.substr(start, i - start));
            if (i < raw.size() && raw[i] == '\0') {
                wide.push_back(L'\0');
            } else if (i < raw.size()) {
                wide.push_back(static_cast<wchar_t>(std::stoul(raw.substr(i + 1, 4), nullptr, 16)));
                i += 4;
            }
            start = i + 1;
        }
    }
    return wide;
}

HRESULT parseHex(const std::string& text) {
    return static_cast<HRESULT>(std::stoul(text, nullptr, 16));
}

// A raising thread's parameters, handed over by the thread that started it,
// and its message queue made: a thread's first NotifyWinEvent may miss hooks
// set before it ever looked at its messages.
template <class Parameters>
Parameters takeOverToRaise(void* parameter) {
    const Parameters taken = *static_cast<Parameters*>(parameter);
    delete static_cast<Parameters*>(parameter);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    return taken;
}

struct RaiseEvery {
    DWORD interval = 0;
    DWORD duration = 0;
    DWORD event = 0;
};

// Raises events from a thread of its own, so that they keep coming while the
// UI thread hangs.
DWORD WINAPI raiseEvery(void* parameter) {
    const auto raising = takeOverToRaise<RaiseEvery>(parameter);
    const ULONGLONG end = GetTickCount64() + raising.duration;
    while (GetTickCount64() < end) {
        NotifyWinEvent(raising.event, element->handle(), OBJID_CLIENT, CHILDID_SELF);
        Sleep(raising.interval);
    }
    return 0;
}

struct RaiseChildLater {
    DWORD delay = 0;
    DWORD event = 0;
    LONG child = 0;
};

DWORD WINAPI raiseChildLater(void* parameter) {
    const auto later = takeOverToRaise<RaiseChildLater>(parameter);
    Sleep(later.delay);
    NotifyWinEvent(later.event, element->handle(), OBJID_CLIENT, later.child);
    return 0;
}

struct Busy {
    DWORD rate = 0;
    DWORD duration = 0;
    LONG children = 1;
    DWORD showEvery = 0;
    bool focuses = false;  // every event a focus
};

// A busy application: events at a steady rate from a worker thread, as a
// page loading or a list scrolling raises them.
DWORD WINAPI raiseBusily(void* parameter) {
    const auto busy = takeOverToRaise<Busy>(parameter);
    const DWORD quietKinds[] = {EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_NAMECHANGE,
                                EVENT_OBJECT_STATECHANGE,    EVENT_OBJECT_VALUECHANGE,
                                EVENT_OBJECT_SELECTION,      EVENT_OBJECT_REORDER,
                                EVENT_OBJECT_CREATE,         EVENT_OBJECT_DESTROY};
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG total = ULONGLONG{busy.rate} * busy.duration / 1000;
    for (ULONGLONG raised = 0; raised < total; ++raised) {
        // Event k is due at k / rate seconds: catch up in a burst when late.
        const ULONGLONG due = start + raised * 1000 / busy.rate;
        const ULONGLONG now = GetTickCount64();
        if (due > now) {
            Sleep(static_cast<DWORD>(due - now));
        }
        const bool show = busy.showEvery != 0 && raised % busy.showEvery == busy.showEvery - 1;
        const DWORD event = busy.focuses ? EVENT_OBJECT_FOCUS
                            : show       ? EVENT_OBJECT_SHOW
                                         : quietKinds[raised % 8];
        NotifyWinEvent(event, element->handle(), OBJID_CLIENT,
                       static_cast<LONG>(raised % static_cast<ULONGLONG>(busy.children)) + 1);
    }
    return 0;
}

struct HungThreads {
    int count = 0;
    DWORD nameDelay = 0;
    DWORD interval = 0;
    DWORD duration = 0;
    HWND windows[16] = {};
    HANDLE ready = nullptr;
};

// A UI thread of the process with a window of its own, hanging in every name query.
DWORD WINAPI hungThread(void* parameter) {
    auto& hung = *static_cast<HungThreads*>(parameter);
    CoInitialize(nullptr);
    auto* window = new ScriptedWindow;  // lives as long as the process
    window->accessible.answers.name = widen("Mentés");
    const DWORD delay = hung.nameDelay;
    window->accessible.answers.duringEveryNameQuery = [delay] { Sleep(delay); };
    for (HWND& slot : hung.windows) {
        if (slot == nullptr) {
            slot = window->handle();
            break;
        }
    }
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(hung.ready);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}

DWORD WINAPI raiseOnHungThreads(void* parameter) {
    const auto hung = takeOverToRaise<HungThreads>(parameter);
    const ULONGLONG end = GetTickCount64() + hung.duration;
    while (GetTickCount64() < end) {
        for (int i = 0; i < hung.count; ++i) {
            NotifyWinEvent(EVENT_OBJECT_FOCUS, hung.windows[i], OBJID_CLIENT, CHILDID_SELF);
        }
        Sleep(hung.interval);
    }
    return 0;
}

// "ok LEFT TOP WIDTH HEIGHT" of a window on the screen.
// The sound of play-restarted; it must outlive the asynchronous playing.
std::string restartedSound;

std::uint32_t readLittleEndian(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

void writeLittleEndian(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// The same file played twice, the second start MS milliseconds after the
// first, as one sound: what the output carries when a cue is started again.
std::string playRestarted(const std::string& file, unsigned long milliseconds) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    std::ifstream in(folder + "Sounds\\" + file, std::ios::binary);
    const std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = 12;
    std::uint32_t bytesPerSecond = 0;
    while (at + 8 <= wav.size() && wav.compare(at, 4, "data") != 0) {
        if (wav.compare(at, 4, "fmt ") == 0 && at + 20 <= wav.size()) {
            bytesPerSecond = readLittleEndian(wav, at + 16);
        }
        at += 8 + readLittleEndian(wav, at + 4);
    }
    if (at + 8 > wav.size() || bytesPerSecond == 0 || wav.compare(0, 4, "RIFF") != 0) {
        return "error " + file + " is not a WAV with its data last";
    }
    const std::string data = wav.substr(at + 8);
    const std::size_t head = (std::size_t{bytesPerSecond} * milliseconds / 1000) & ~std::size_t{1};
    restartedSound = wav.substr(0, at + 8) + data.substr(0, head) + data;
    writeLittleEndian(restartedSound, 4, static_cast<std::uint32_t>(restartedSound.size() - 8));
    writeLittleEndian(restartedSound, at + 4, static_cast<std::uint32_t>(restartedSound.size() - at - 8));
    PlaySoundA(restartedSound.data(), nullptr, SND_MEMORY | SND_ASYNC);
    return "ok";
}

std::string screenRectangle(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return "ok " + std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
           std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top);
}

std::string run(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') {
        rest.erase(0, 1);
    }
    ScriptedAnswers& answers = element->accessible.answers;
    std::istringstream args(rest);
    std::string event;
    if (verb == "name") {
        answers.name = unescape(rest);
    } else if (verb == "name-absent") {
        answers.name = std::nullopt;
    } else if (verb == "name-result") {
        answers.nameResult = parseHex(rest);
    } else if (verb == "name-write-anyway") {
        answers.writeNameDespiteResult = rest == "1";
    } else if (verb == "rect") {
        args >> answers.left >> answers.top >> answers.width >> answers.height;
    } else if (verb == "location-result") {
        answers.locationResult = parseHex(rest);
    } else if (verb == "raise") {
        NotifyWinEvent(static_cast<DWORD>(parseHex(rest)), element->handle(), OBJID_CLIENT,
                       CHILDID_SELF);
    } else if (verb == "focus-button") {
        int index = 0;
        args >> index;
        SetForegroundWindow(mainWindow);
        SetActiveWindow(mainWindow);
        SetFocus(buttons[index]);
        if (GetFocus() != buttons[index]) {
            return "error focus stayed elsewhere";
        }
    } else if (verb == "button-rect") {
        int index = 0;
        args >> index;
        return screenRectangle(buttons[index]);
    } else if (verb == "dialog") {
        dialog = CreateWindowExA(0, "VocaretTestDialog", "dialog", WS_POPUP | WS_CAPTION |
                                 WS_VISIBLE, 300, 540, 300, 100, mainWindow, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        const HWND button = CreateWindowExW(0, L"BUTTON", widen("Mentés").c_str(),
                                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                            10, 10, 120, 30, dialog, nullptr,
                                            GetModuleHandleA(nullptr), nullptr);
        SetForegroundWindow(dialog);
        SetActiveWindow(dialog);
        SetFocus(button);
        if (GetFocus() != button) {
            return "error focus stayed elsewhere";
        }
        return screenRectangle(button);
    } else if (verb == "focus-dialog-button") {
        // The dialog's activation may come through the display server after
        // the button took focus, and focus the dialog itself: the button's
        // focus is made the newest again.
        const HWND button = GetWindow(dialog, GW_CHILD);
        SetFocus(button);
        NotifyWinEvent(EVENT_OBJECT_FOCUS, button, OBJID_CLIENT, CHILDID_SELF);
    } else if (verb == "close-dialog") {
        NotifyWinEvent(EVENT_OBJECT_HIDE, dialog, OBJID_WINDOW, CHILDID_SELF);
        DestroyWindow(dialog);
        dialog = nullptr;
    } else if (verb == "stats") {
        const ScriptedAccessible& a = element->accessible;
        return "ok references=" + std::to_string(a.references) +
               " names=" + std::to_string(a.nameQueries) +
               " locations=" + std::to_string(a.locationQueries) +
               " objects=" + std::to_string(a.objectRequests);
    } else if (verb == "flood") {
        unsigned long count = 0;
        args >> count >> event;
        const auto eventId = static_cast<DWORD>(parseHex(event));
        for (unsigned long i = 0; i < count; ++i) {
            NotifyWinEvent(eventId, element->handle(), OBJID_CLIENT, CHILDID_SELF);
        }
    } else if (verb == "name-delay") {
        // The next name query answers only after MS milliseconds, the UI
        // thread pumping nothing meanwhile: a hung application.
        const auto delay = static_cast<DWORD>(std::stoul(rest));
        answers.duringNameQuery = [delay] { Sleep(delay); };
    } else if (verb == "name-delay-every") {
        // A hung application: its UI thread sleeps in every name query.
        const auto delay = static_cast<DWORD>(std::stoul(rest));
        answers.duringEveryNameQuery = [delay] { Sleep(delay); };
    } else if (verb == "raise-every") {
        auto* raising = new RaiseEvery{};
        args >> raising->interval >> raising->duration >> event;
        raising->event = static_cast<DWORD>(parseHex(event));
        CloseHandle(CreateThread(nullptr, 0, raiseEvery, raising, 0, nullptr));
    } else if (verb == "child-name") {
        LONG child = 0;
        args >> child;
        std::string text;
        std::getline(args, text);
        answers.childNames[child] = unescape(text.empty() ? text : text.substr(1));
    } else if (verb == "child-prefix") {
        answers.childPrefix = unescape(rest);
    } else if (verb == "raise-child") {
        LONG child = 0;
        args >> event >> child;
        NotifyWinEvent(static_cast<DWORD>(parseHex(event)), element->handle(), OBJID_CLIENT,
                       child);
    } else if (verb == "raise-then-child") {
        auto* later = new RaiseChildLater{};
        args >> event >> later->delay >> later->child;
        later->event = static_cast<DWORD>(parseHex(event));
        NotifyWinEvent(later->event, element->handle(), OBJID_CLIENT, CHILDID_SELF);
        CloseHandle(CreateThread(nullptr, 0, raiseChildLater, later, 0, nullptr));
    } else if (verb == "busy" || verb == "busy-focus") {
        auto* busy = new Busy{};
        args >> busy->rate >> busy->duration >> busy->children;
        if (verb == "busy") {
            args >> busy->showEvery;
        }
        busy->focuses = verb == "busy-focus";
        if (busy->rate == 0 || busy->children <= 0) {
            delete busy;
            return "error busy needs a rate and children";
        }
        CloseHandle(CreateThread(nullptr, 0, raiseBusily, busy, 0, nullptr));
    } else if (verb == "hung-threads") {
        auto* hung = new HungThreads{};
        args >> hung->count >> hung->nameDelay >> hung->interval >> hung->duration;
        hung->count = std::min(hung->count, 16);
        hung->ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        for (int i = 0; i < hung->count; ++i) {
            CloseHandle(CreateThread(nullptr, 0, hungThread, hung, 0, nullptr));
            WaitForSingleObject(hung->ready, 10000);
        }
        CloseHandle(hung->ready);
        CloseHandle(CreateThread(nullptr, 0, raiseOnHungThreads, hung, 0, nullptr));
    } else if (verb == "element-window") {
        return "ok " + std::to_string(reinterpret_cast<std::uintptr_t>(element->handle()));
    } else if (verb == "die-in-name-query") {
        // The next name query ends this process before it answers.
        answers.duringNameQuery = [] { TerminateProcess(GetCurrentProcess(), 7); };
    } else if (verb == "name-long") {
        answers.name = std::wstring(std::stoul(rest), L'x');
    } else if (verb == "hang") {
        PostMessageA(mainWindow, hangMessage, std::stoul(rest), 0);
    } else if (verb == "raise-and-hang") {
        std::string kind;
        DWORD milliseconds = 0;
        args >> kind >> milliseconds;
        PostMessageA(mainWindow, raiseAndHangMessage, static_cast<WPARAM>(parseHex(kind)),
                     static_cast<LPARAM>(milliseconds));
    } else if (verb == "play-restarted") {
        std::string file;
        unsigned long milliseconds = 0;
        args >> file >> milliseconds;
        return playRestarted(file, milliseconds);
    } else if (verb == "quit") {
        PostQuitMessage(0);
    } else {
        return "error unknown command " + verb;
    }
    return "ok";
}

LRESULT CALLBACK targetWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == commandMessage) {
        auto* line = reinterpret_cast<std::string*>(lParam);
        *line = run(*line);
        return 0;
    }
    if (message == hangMessage) {
        Sleep(static_cast<DWORD>(wParam));
        return 0;
    }
    if (message == raiseAndHangMessage) {
        NotifyWinEvent(static_cast<DWORD>(wParam), element->handle(), OBJID_CLIENT, CHILDID_SELF);
        Sleep(static_cast<DWORD>(lParam));
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Reads commands and hands each to the UI thread, waiting for its answer.
DWORD WINAPI readCommands(void*) {
    char buffer[1 << 16];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        const bool quit = line == "quit";
        SendMessageA(mainWindow, commandMessage, 0, reinterpret_cast<LPARAM>(&line));
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        if (quit) {
            return 0;
        }
    }
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int main() {
    CoInitialize(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = targetWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = "VocaretTestTarget";
    RegisterClassA(&windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "VocaretTestDialog";
    RegisterClassA(&windowClass);
    mainWindow = CreateWindowExA(0, "VocaretTestTarget", "Vocaret test target",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 400, 200, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int i = 0; i < 3; ++i) {
        // Button texts are UTF-8 here; the buttons are wide so the names arrive exactly.
        buttons[i] = CreateWindowExW(0, L"BUTTON", widen(buttonTexts[i]).c_str(),
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                     10 + 125 * i, 10, 120, 30, mainWindow, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    }
    ScriptedWindow scripted;
    element = &scripted;

    std::printf("ok ready\n");
    std::fflush(stdout);
    CloseHandle(CreateThread(nullptr, 0, readCommands, nullptr, 0, nullptr));

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    CoUninitialize();
    return 0;
}
