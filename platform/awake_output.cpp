#include "awake_output.h"

#include <atomic>

#include "sound_output.h"
#include "system_library.h"

constinit WaveOutOpenFunction waveOutOpenFunction = nullptr;

namespace {

// How long the stream plays on after the last cue and the last mouse input.
// Longer than the pauses of someone at work, who reads or thinks between two
// elements; and short, because an open output stream keeps the computer
// from going to sleep by itself: it may sleep a minute after the user left.
constexpr DWORD awakeAfterLastUseMs = 60'000;

// Two buffers of half a second take turns, so the thread wakes twice a
// second; both play the same samples, written once.
constexpr int bufferSamples = 22050;
constinit short nearSilence[bufferSamples] = {};
constinit WAVEHDR buffers[2] = {};

// A buffer that has not come back for this long means that the device
// stopped playing (removed, or taken away): the stream is opened anew.
constexpr DWORD stalledAfterMs = 3000;

// A stream that failed is opened again after this pause, so that a device
// that keeps failing costs next to nothing.
constexpr DWORD retryAfterFailureMs = 1000;

// The stream is opened this long after the cue or input that woke it: the
// platform opens outputs one at a time, and the cue's own must go first.
constexpr DWORD openAfterWakeMs = 500;

// DRVM_MAPPER_PREFERRED_GET: which device the wave mapper plays on now.
constexpr UINT preferredDeviceMessage = 0x2000 + 21;

// Written by the main thread, read by the stream's: the last use, and
// whether it must be woken. Sequentially consistent, so that a use noted
// while the stream stops either sees it stopped (and wakes it) or is seen
// by it (and keeps it on).
constinit std::atomic<DWORD> lastUse{0};
constinit std::atomic<bool> streaming{false};
constinit std::atomic<bool> refused{false};

constinit HANDLE wake = nullptr;       // the main thread's: a use while it sleeps
constinit HANDLE quitEvent = nullptr;  // vocaret closes
constinit HANDLE thread = nullptr;

using WaveOutCloseFunction = MMRESULT(WINAPI*)(HWAVEOUT);
using WaveOutHeaderFunction = MMRESULT(WINAPI*)(HWAVEOUT, LPWAVEHDR, UINT);
using WaveOutMessageFunction = MMRESULT(WINAPI*)(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR);
// The system folder's winmm functions besides waveOutOpen.
struct WaveOut {
    WaveOutCloseFunction close;
    WaveOutCloseFunction reset;
    WaveOutHeaderFunction prepare;
    WaveOutHeaderFunction unprepare;
    WaveOutHeaderFunction write;
    WaveOutMessageFunction message;
};
constinit WaveOut waveOut{};

bool recentlyUsed() {
    return GetTickCount() - lastUse.load() < awakeAfterLastUseMs;
}

void noteUse(bool evenAfterRefusal) {
    lastUse.store(GetTickCount());
    if (wake != nullptr && !streaming.load() && (evenAfterRefusal || !refused.load())) {
        SetEvent(wake);
    }
}

// The device that the wave mapper would open now; a headset plugged in or
// another default device changes it. WAVE_MAPPER when the platform cannot say.
UINT preferredDevice() {
    DWORD device = WAVE_MAPPER;
    DWORD flags = 0;
    waveOut.message(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(WAVE_MAPPER)),
                   preferredDeviceMessage, reinterpret_cast<DWORD_PTR>(&device),
                   reinterpret_cast<DWORD_PTR>(&flags));
    return device;
}

enum class StreamEnd { unused, failed, closing };

// Plays until the output has been unused for its time, fails, follows a
// new device, or vocaret closes.
StreamEnd play(HWAVEOUT output, HANDLE bufferDone) {
    const UINT device = preferredDevice();
    for (WAVEHDR& buffer : buffers) {
        if (waveOut.write(output, &buffer, sizeof buffer) != MMSYSERR_NOERROR) {
            return StreamEnd::failed;
        }
    }
    const HANDLE waits[2] = {quitEvent, bufferDone};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, stalledAfterMs);
        if (woken == WAIT_OBJECT_0) {
            return StreamEnd::closing;
        }
        if (woken != WAIT_OBJECT_0 + 1) {
            return StreamEnd::failed;
        }
        for (WAVEHDR& buffer : buffers) {
            if ((buffer.dwFlags & WHDR_DONE) == 0) {
                continue;
            }
            if (!recentlyUsed()) {
                return StreamEnd::unused;
            }
            if (preferredDevice() != device ||
                waveOut.write(output, &buffer, sizeof buffer) != MMSYSERR_NOERROR) {
                return StreamEnd::failed;
            }
        }
    }
}

// Opens the output and plays until it ends; false when it could not be opened.
bool openAndPlay(StreamEnd& end) {
    const HANDLE bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HWAVEOUT output = nullptr;
    if (bufferDone == nullptr ||
        waveOutOpenFunction(&output, WAVE_MAPPER, &cueFormat, reinterpret_cast<DWORD_PTR>(bufferDone),
                            0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        if (bufferDone != nullptr) {
            CloseHandle(bufferDone);
        }
        return false;
    }
    refused.store(false);
    streaming.store(true);
    int prepared = 0;
    while (prepared < 2 && waveOut.prepare(output, &buffers[prepared], sizeof(WAVEHDR)) ==
                               MMSYSERR_NOERROR) {
        ++prepared;
    }
    end = prepared == 2 ? play(output, bufferDone) : StreamEnd::failed;
    // Reset hands every buffer back at once, so that close does not wait.
    waveOut.reset(output);
    for (int i = 0; i < prepared; ++i) {
        waveOut.unprepare(output, &buffers[i], sizeof(WAVEHDR));
    }
    waveOut.close(output);
    CloseHandle(bufferDone);
    return true;
}

DWORD WINAPI awakeOutputMain(void* wakeEvent) {
    const HANDLE waits[2] = {quitEvent, wakeEvent};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        if (WaitForSingleObject(quitEvent, openAfterWakeMs) == WAIT_OBJECT_0) {
            return 0;
        }
        StreamEnd end = StreamEnd::failed;
        while (recentlyUsed()) {
            if (!openAndPlay(end)) {
                // Refused first: a mouse input in between must not try again.
                refused.store(true);
                streaming.store(false);
                break;
            }
            if (end == StreamEnd::closing) {
                return 0;
            }
            if (end == StreamEnd::unused) {
                // Wakes asked for while it played are stale; a use after the
                // last look at the time sees it stopped, or is seen above.
                ResetEvent(wakeEvent);
                streaming.store(false);
            } else if (WaitForSingleObject(quitEvent, retryAfterFailureMs) == WAIT_OBJECT_0) {
                return 0;
            }
        }
    }
    return 0;
}

}  // namespace

void startAwakeOutput() {
    if (thread != nullptr) {
        return;
    }
    const HMODULE module = winmm();
    waveOutOpenFunction = systemFunction<WaveOutOpenFunction>(module, "waveOutOpen");
    waveOut.close = systemFunction<WaveOutCloseFunction>(module, "waveOutClose");
    waveOut.reset = systemFunction<WaveOutCloseFunction>(module, "waveOutReset");
    waveOut.prepare = systemFunction<WaveOutHeaderFunction>(module, "waveOutPrepareHeader");
    waveOut.unprepare = systemFunction<WaveOutHeaderFunction>(module, "waveOutUnprepareHeader");
    waveOut.write = systemFunction<WaveOutHeaderFunction>(module, "waveOutWrite");
    waveOut.message = systemFunction<WaveOutMessageFunction>(module, "waveOutMessage");
    if (waveOutOpenFunction == nullptr || waveOut.close == nullptr || waveOut.reset == nullptr ||
        waveOut.prepare == nullptr || waveOut.unprepare == nullptr ||
        waveOut.write == nullptr || waveOut.message == nullptr) {
        return;
    }
    // Zeros, with the smallest sample there is every quarter of a second,
    // +1 and -1 in turn: some devices sleep on a stream of pure zeros.
    nearSilence[0] = 1;
    nearSilence[bufferSamples / 2] = -1;
    for (WAVEHDR& buffer : buffers) {
        buffer.lpData = reinterpret_cast<LPSTR>(nearSilence);
        buffer.dwBufferLength = sizeof nearSilence;
    }
    quitEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE wakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    constexpr SIZE_T stackReserve = 64 * 1024;
    if (quitEvent != nullptr && wakeEvent != nullptr) {
        thread = CreateThread(nullptr, stackReserve, awakeOutputMain, wakeEvent,
                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    }
    if (thread != nullptr) {
        wake = wakeEvent;
    }
}

void keepOutputAwakeForCue() {
    noteUse(true);
}

void keepOutputAwakeForInput() {
    noteUse(false);
}

void endAwakeOutput() {
    if (thread == nullptr) {
        return;
    }
    wake = nullptr;
    SetEvent(quitEvent);
    // The stream's reset and close take milliseconds; a driver that hangs
    // in them does not keep vocaret from ending.
    WaitForSingleObject(thread, 2000);
    CloseHandle(thread);
    thread = nullptr;
}
