// The places of the calls into other applications, and how many may be
// under way. A call waits as long as the application that answers it, and
// an application may never answer: so a call that has not answered within
// callDeadlineMs no longer counts against the bound. It is abandoned: its
// thread goes on waiting, and keeps its place until the call returns, when
// its late answer is applied by the rule of event_findings.h like any other.
//
// - At most maxCallsUnderWay calls within their deadline at once.
// - At most callPlaceCount places in all, abandoned ones included: the call
//   threads alive at most. At that cap no call starts until one returns;
//   the events wait, as they do behind the bound.
// - A thread that a call waits on is not called again meanwhile: another
//   call would only queue behind the first.
// - An application, with all its threads, has at most callsPerApplication
//   calls that have not returned, abandoned ones included, so that one
//   stuck process cannot take every place.
// - A thread whose last call returned within its deadline is known to
//   answer in time: the bound's last place is kept for such threads, and
//   their focuses go before the others' (waiting_events.h). So while stuck
//   applications are still being found out, three places at a time, the
//   application the user works in is not held back behind them.
// With callPlaceCount - maxCallsUnderWay = 16 abandoned calls, the bound's
// four places are still free: up to 16 stuck threads or applications hold
// back no other application's cue once their calls have passed the deadline.
#pragma once

#include <cstddef>
#include <cstdint>

#include "waiting_events.h"

constexpr std::size_t maxCallsUnderWay = 4;
constexpr std::size_t callPlaceCount = 20;
constexpr std::size_t callsPerApplication = 2;
// Measured under Wine on a 2-core machine kept busy by other work: on a
// quiet desktop every call (object, name, location) took at most 277 ms
// (p50 38, p99 184), on a busy one 6 in 682 took over 500 ms. A deadline
// well past those holds back no healthy call, and is still a tenth of the
// 5 s after which the platform calls a window hung.
constexpr std::uint32_t callDeadlineMs = 500;

// Whether the bound and the cap leave room for another call.
bool callPlaceFree();
// Whether a call about `event` may start now: a place is free (the last one
// only for a thread known to answer in time), no call waits on its thread
// and its application is within its share.
bool callMayStartFor(const WaitingEvent& event);
// Whether the last call into `thread` returned within its deadline.
bool answersInTime(std::uint32_t thread);

// Takes a place for the calls about `event`, made from nowMs on; -1 when
// callMayStartFor does not hold. The lowest free place is taken, so that
// the places in use, and the threads behind them, stay few.
int beginCall(const WaitingEvent& event, std::uint32_t nowMs);
// The calls of `place` have returned: the place is free.
void endCall(int place);

// Abandons the calls past their deadline at nowMs; answers how many.
std::size_t abandonOverdueCalls(std::uint32_t nowMs);

bool callBusy(int place);
// Calls that have not returned, abandoned ones included.
std::size_t callsNotReturned();
// Calls within their deadline.
std::size_t callsCounted();

// The focus that arrived as `arrival` has a call under way, and a newer
// focus of its thread has arrived since: the user has left it.
bool focusCallSuperseded(std::uint64_t arrival);
// A newer focus of `thread` has arrived.
void supersedeFocusCallsOf(std::uint32_t thread);

// Frees every place (the program closes, or a test begins).
void clearCallPlaces();
