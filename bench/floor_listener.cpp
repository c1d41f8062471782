// The floor: the least a program can do for the same cues, so that the
// latency benchmark compares vocaret.exe with it in the same run, over the
// same events and sounds. On a focus event: the object, its name, the cue
// (through the project's own core and PlaySoundA output), the element's
// rectangle. No queue, no timer, no mouse hook, no warm-up; a window only so
// that the benchmark can see it has started. Started with "whole-range" it
// takes the same range of events as vocaret.exe and drops every other kind
// first thing, so that a busy desktop delivers it the same stream.
#include <windows.h>
#include <oleacc.h>

#include <string_view>

#include "cue_table.h"
#include "play_cue.h"
#include "sound_output.h"
#include "subscription.h"

namespace {

void CALLBACK onFocus(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG childId,
                      DWORD, DWORD) {
    if (event != EVENT_OBJECT_FOCUS) {
        return;
    }
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    if (accessibleObjectFromEvent != nullptr &&
        accessibleObjectFromEvent(window, static_cast<DWORD>(objectId),
                                  static_cast<DWORD>(childId), &object, &child) == S_OK &&
        object != nullptr) {
        BSTR name = nullptr;
        if (object->get_accName(child, &name) == S_OK && name != nullptr) {
            const std::u16string_view text(reinterpret_cast<const char16_t*>(name),
                                           SysStringLen(name));
            if (const CueRow* row = findCue(text)) {
                playCue(*row);
                LONG left = 0, top = 0, width = 0, height = 0;
                object->accLocation(&left, &top, &width, &height, child);
            }
        }
        SysFreeString(name);
        object->Release();
    }
    VariantClear(&child);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    const bool wholeRange = std::string_view(commandLine) == "whole-range";
    CoInitialize(nullptr);
    installPlaySoundOutput();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "vocaretFloor";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "vocaretFloor", "Vocaret floor", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                    CW_USEDEFAULT, CW_USEDEFAULT, 240, 43, nullptr, nullptr, instance, nullptr);
    SetWinEventHook(wholeRange ? EVENT_SYSTEM_MENUSTART : EVENT_OBJECT_FOCUS,
                    wholeRange ? EVENT_OBJECT_VALUECHANGE : EVENT_OBJECT_FOCUS, nullptr, onFocus, 0,
                    0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}
