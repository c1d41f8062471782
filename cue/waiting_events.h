// The accessibility events that wait for their calls into other
// applications, and the choice of which goes next. Plain values only: the
// platform makes the calls, this decides what is worth a call and when.
//
// Calls about events of different threads run side by side; their results
// are applied by the rule of event_findings.h, which keeps the click target
// as arrival order leaves it whatever the order of taking. The order keeps
// every cue as handling each event in arrival order would, except for the
// cues that could only have cut off a newer cue, that come too late to name
// what is in front of the user, or of a focus the user has left:
// - focuses go first, and the newest focus of each thread stands for it.
//   Those of threads known to answer in time (call_places.h) go before the
//   others, the thread whose focus was taken last waiting while another
//   such thread's focus waits. Of the other threads, the one whose newest
//   focus is the oldest goes first: a thread that keeps raising focuses
//   (a flood, or a stuck application's other threads) moves to the back;
// - a focus whose cue plays makes the shows that arrived before it moot
//   (forgetShowsBefore): their cues would only cut it off;
// - a focus that arms the click target makes every older focus and hide
//   moot (forgetTargetEventsBefore): whatever they did, it overwrites;
// - a focus that arms nothing changes nothing, so the older ones may follow
//   it; hides go in arrival order, once no focus waits;
// - a focus of a thread that has raised a newer focus since is superseded:
//   the user has left it, and its cue does not play; its answer still sets
//   the click target as the rule of event_findings.h allows;
// - a hide while the target is disarmed, with nothing that could still arm
//   it, changes nothing and is dropped without a call;
// - a show older than showLifetimeMs is dropped unheard;
// - shows of different threads take turns, so one application's flood
//   holds back another's show by one event at most.
#pragma once

#include <cstddef>
#include <cstdint>

#include "event_kinds.h"

// An element as the platform names it: its window, object and child.
struct ElementKey {
    std::uintptr_t window;
    std::int32_t object;
    std::int32_t child;
    bool operator==(const ElementKey&) const = default;
};

struct WaitingEvent {
    std::uint32_t event;     // eventObjectShow, eventObjectHide or eventObjectFocus
    ElementKey element;
    std::uint32_t thread;    // the thread that answers the calls about the element
    std::uint32_t raisedMs;  // when it was raised, on the millisecond tick clock
    std::uint64_t arrival;   // set when recorded: later events have larger numbers
    std::uint32_t process;   // the application: the thread's process
    bool superseded;         // a focus whose thread has raised a newer focus since
};

constexpr std::size_t waitingEventCapacity = 1024;
// No thread holds more places than this, so that a flood from one
// application cannot push another's events out of a full queue.
constexpr std::size_t waitingEventsPerThread = 64;
constexpr std::uint32_t showLifetimeMs = 500;

// Whether an event of this kind can change a cue or the click target at
// all. Every other kind is dropped before any call.
bool eventCanChangeAnything(std::uint32_t event);

// When an event was raised: the time the platform reports, unless that is
// implausible (ahead of the arrival, or a minute before it), then the arrival.
std::uint32_t eventRaisedMs(std::uint32_t reportedMs, std::uint32_t arrivedMs);

// Adds an event of a kind that can change anything (others are dropped); a
// waiting event of the same element and kind gives way to it. Answers its
// arrival number, 0 for an event dropped.
std::uint64_t recordWaitingEvent(WaitingEvent event);

// Whether the application behind an event can answer calls now.
using AnswerCheck = bool (*)(const WaitingEvent& event, void* context);

// Takes the next event worth its calls into `next`; false when none waits
// that may go now. Events of applications that cannot answer (one that a
// call is already waiting on, or one that hangs) wait, except when no call
// is under way and nothing else is left: then nothing waits behind them.
// `callsUnderWay`: some event's calls have not returned yet, so the click
// target may still change under the one taken now.
bool takeNextWaitingEvent(std::uint32_t nowMs, bool callsUnderWay, AnswerCheck canAnswer,
                          void* context, WaitingEvent& next);

// The focus that arrived as `arrival` set the click target: the older
// waiting focuses and hides can change nothing any more.
void forgetTargetEventsBefore(std::uint64_t arrival);
// The focus that arrived as `arrival` played its cue: the older waiting
// shows would only cut it off.
void forgetShowsBefore(std::uint64_t arrival);

// A show's answer came back too late to be played.
void noteStaleShow();

std::size_t waitingEventCount();
// Drops every waiting event (the program closes).
void clearWaitingEvents();

// What became of the events that were not handled, counted since start.
struct WaitingEventTally {
    std::size_t full = 0;        // pushed out of a full queue or a thread's share
    std::size_t coalesced = 0;   // replaced by a newer event of the same element
    std::size_t stale = 0;       // shows that waited too long
    std::size_t overtaken = 0;   // shows older than a focus cue played, events older than an arming focus
    std::size_t disarmed = 0;    // hides with nothing to disarm
};
const WaitingEventTally& waitingEventTally();
