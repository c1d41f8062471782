// The exact platform calls of the subscription and of the sound output.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "awake_output.h"
#include "import_patch.h"
#include "play_cue.h"
#include "sound_output.h"
#include "subscription.h"
#include "system_library.h"
#include "win_event_proc.h"

namespace {

struct HookArguments {
    DWORD eventMin, eventMax;
    HMODULE module;
    WINEVENTPROC procedure;
    DWORD process, thread, flags;
};
HookArguments hookArguments;
int hooksSet = 0;
HWINEVENTHOOK WINAPI recordingSetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE module,
                                               WINEVENTPROC procedure, DWORD process,
                                               DWORD thread, DWORD flags) {
    ++hooksSet;
    hookArguments = {eventMin, eventMax, module, procedure, process, thread, flags};
    return reinterpret_cast<HWINEVENTHOOK>(static_cast<INT_PTR>(0x4242));
}

HWINEVENTHOOK unhooked = nullptr;
int unhookCalls = 0;
BOOL WINAPI recordingUnhookWinEvent(HWINEVENTHOOK hook) {
    ++unhookCalls;
    unhooked = hook;
    return TRUE;
}

HRESULT initializeResult = S_OK;
HRESULT WINAPI scriptedCoInitialize(LPVOID) {
    return initializeResult;
}
int uninitializeCalls = 0;
void WINAPI countingCoUninitialize() {
    ++uninitializeCalls;
}

class Subscription : public ::testing::Test {
protected:
    ImportPatch setHook{"user32.dll", "SetWinEventHook",
                        reinterpret_cast<void*>(recordingSetWinEventHook)};
    ImportPatch unhook{"user32.dll", "UnhookWinEvent",
                       reinterpret_cast<void*>(recordingUnhookWinEvent)};
    ImportPatch initialize{"ole32.dll", "CoInitialize",
                           reinterpret_cast<void*>(scriptedCoInitialize)};
    ImportPatch uninitialize{"ole32.dll", "CoUninitialize",
                             reinterpret_cast<void*>(countingCoUninitialize)};

    void SetUp() override {
        ASSERT_TRUE(setHook.applied() && unhook.applied() && initialize.applied() &&
                    uninitialize.applied());
        hooksSet = unhookCalls = uninitializeCalls = 0;
    }
};

TEST_F(Subscription, HooksTheFixedRangeOutOfContextSkippingItsOwnProcess) {
    initializeResult = S_OK;
    startAccessibilitySubscription();
    EXPECT_EQ(hooksSet, 1);
    EXPECT_EQ(hookArguments.eventMin, 0x0004u);
    EXPECT_EQ(hookArguments.eventMax, 0x800Eu);
    EXPECT_EQ(hookArguments.module, nullptr);
    EXPECT_EQ(hookArguments.procedure, &winEventProc);
    EXPECT_EQ(hookArguments.process, 0u);
    EXPECT_EQ(hookArguments.thread, 0u);
    EXPECT_EQ(hookArguments.flags, 0x0002u);
    EXPECT_EQ(winEventHookHandle, reinterpret_cast<HWINEVENTHOOK>(static_cast<INT_PTR>(0x4242)));
    endAccessibilitySubscription();
    EXPECT_EQ(unhookCalls, 1);
    EXPECT_EQ(unhooked, winEventHookHandle);
    EXPECT_EQ(uninitializeCalls, 1);
}

TEST_F(Subscription, UninitialisesComOnlyWhenItsInitialisationSucceeded) {
    for (HRESULT result : {S_OK, S_FALSE, RPC_E_CHANGED_MODE, E_OUTOFMEMORY}) {
        uninitializeCalls = 0;
        initializeResult = result;
        startAccessibilitySubscription();
        endAccessibilitySubscription();
        EXPECT_EQ(uninitializeCalls, SUCCEEDED(result) ? 1 : 0) << std::hex << result;
    }
}

HWINEVENTHOOK WINAPI failingSetWinEventHook(DWORD, DWORD, HMODULE, WINEVENTPROC, DWORD, DWORD,
                                             DWORD) {
    return nullptr;
}

TEST_F(Subscription, FailedHookIsStillUnhookedAndComStillUninitialised) {
    ImportPatch failing("user32.dll", "SetWinEventHook",
                        reinterpret_cast<void*>(failingSetWinEventHook));
    initializeResult = S_OK;
    startAccessibilitySubscription();
    EXPECT_EQ(winEventHookHandle, nullptr);
    endAccessibilitySubscription();
    EXPECT_EQ(unhookCalls, 1);
    EXPECT_EQ(unhooked, nullptr);
    EXPECT_EQ(uninitializeCalls, 1);
}

struct PlaySoundArguments {
    std::string sound;
    HMODULE module;
    DWORD flags;
};
PlaySoundArguments lastPlay;
int plays = 0;
BOOL WINAPI recordingPlaySoundA(LPCSTR sound, HMODULE module, DWORD flags) {
    ++plays;
    lastPlay = {sound, module, flags};
    return FALSE;  // not looked at
}

TEST(SoundOutput, PlaysTheRowsFileAsynchronouslyByNameWithNoOtherFlag) {
    installPlaySoundOutput();
    // The system folder's PlaySoundA, taken at run time: winmm is not imported.
    EXPECT_EQ(reinterpret_cast<void*>(playSoundFunction),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("winmm.dll"), "PlaySoundA")));
    playSoundFunction = recordingPlaySoundA;
    plays = 0;
    playCue(*cueById(1059));
    playCue(*cueById(1011));
    setSoundOutput(nullptr);
    EXPECT_EQ(plays, 2);
    EXPECT_EQ(lastPlay.sound, "Sounds\\Search_(loop).wav");
    EXPECT_EQ(lastPlay.module, nullptr);
    EXPECT_EQ(lastPlay.flags, 0x00020001u);
}

// Another program holds the output in exclusive mode: the open is refused,
// after a wait that the test ends.
HANDLE openAsked = CreateEventA(nullptr, FALSE, FALSE, nullptr);
HANDLE openMayEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
std::atomic<bool> openHeldUpTheCue{false};
MMRESULT WINAPI refusedWaveOutOpen(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
    SetEvent(openAsked);
    if (WaitForSingleObject(openMayEnd, 10000) != WAIT_OBJECT_0) {
        openHeldUpTheCue = true;
    }
    return MMSYSERR_ALLOCATED;
}

TEST(SoundOutput, CuesPlayWhenTheOutputCannotBeKeptAwakeAndTheNextCueTriesAgain) {
    installPlaySoundOutput();
    startAwakeOutput();
    EXPECT_EQ(reinterpret_cast<void*>(waveOutOpenFunction),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("winmm.dll"), "waveOutOpen")));
    waveOutOpenFunction = refusedWaveOutOpen;
    playSoundFunction = recordingPlaySoundA;
    plays = 0;
    playCue(*cueById(1028));
    // The open is tried off the cue's path: it still waits when the cue is out.
    ASSERT_EQ(WaitForSingleObject(openAsked, 10000), WAIT_OBJECT_0);
    SetEvent(openMayEnd);
    playCue(*cueById(1005));
    ASSERT_EQ(WaitForSingleObject(openAsked, 10000), WAIT_OBJECT_0);
    endAwakeOutput();
    setSoundOutput(nullptr);
    EXPECT_FALSE(openHeldUpTheCue);
    EXPECT_EQ(plays, 2);
    EXPECT_EQ(lastPlay.sound, "Sounds\\Backarrow.wav");
}

TEST(StaticInitialisation, AccessibilityLibraryIsLoadedBeforeMain) {
    EXPECT_NE(oleaccModule, nullptr);
    EXPECT_EQ(oleaccModule, GetModuleHandleA("oleacc.dll"));
    EXPECT_EQ(reinterpret_cast<void*>(accessibleObjectFromEvent),
              reinterpret_cast<void*>(GetProcAddress(oleaccModule, "AccessibleObjectFromEvent")));
}

using LoadLibraryExAFunction = HMODULE(WINAPI*)(LPCSTR, HANDLE, DWORD);
const auto realLoadLibraryExA = reinterpret_cast<LoadLibraryExAFunction>(
    reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryExA")));
std::vector<std::string> loadedNames;
std::vector<DWORD> loadFlags;
// A loader from before the system-folder search flag: it refuses the flag.
HMODULE WINAPI loaderWithoutSearchFlags(LPCSTR name, HANDLE file, DWORD flags) {
    loadedNames.emplace_back(name);
    loadFlags.push_back(flags);
    if ((flags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return realLoadLibraryExA(name, file, flags);
}

TEST(SystemLibrary, OlderLoaderLoadsByTheSystemFolderPathNeverByBareName) {
    ImportPatch patch("kernel32.dll", "LoadLibraryExA",
                      reinterpret_cast<void*>(loaderWithoutSearchFlags));
    ASSERT_TRUE(patch.applied());
    const HMODULE module = loadSystemLibrary("winmm.dll");
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(loadedNames, (std::vector<std::string>{"winmm.dll", std::string(folder) + "\\winmm.dll"}));
    EXPECT_EQ(loadFlags, (std::vector<DWORD>{LOAD_LIBRARY_SEARCH_SYSTEM32,
                                             LOAD_WITH_ALTERED_SEARCH_PATH}));
    EXPECT_EQ(module, GetModuleHandleA("winmm.dll"));
}

}  // namespace
