// What the calls about one waiting event found, and what it still may do
// when they return. Calls into different applications run side by side and
// return in any order, so a result may come back after newer events have
// been handled.
//
// The rule: a result is dropped only for what a newer event has already
// done.
// - It sets the click target (arms it, or disarms it) unless a newer event
//   has set the target since: that newer state is the one arrival order
//   leaves.
// - A cue plays unless a newer cue, of a focus or a show, has played: it
//   would cut that one off. A show whose answer comes more than
//   showLifetimeMs after it was raised is stale. A focus cue plays only
//   while no newer focus of its thread has arrived (waiting, or with its
//   own call under way): the user has left the element. Focuses of other
//   threads do not count here, so that one application's flood of focuses
//   cannot silence another's.
// - An event that played nothing and changed nothing overtakes nothing.
// So every applied target state is newer than the one before it, and the
// target ends as the newest event that sets it leaves it: as in arrival
// order, whatever order the results come back in.
#pragma once

#include <cstdint>

#include "cue_table.h"

struct EventFindings {
    std::uint32_t event = 0;    // eventObjectShow, eventObjectHide or eventObjectFocus
    std::uint64_t arrival = 0;  // the waiting event's arrival number
    std::uint32_t raisedMs = 0;
    std::uintptr_t window = 0;  // the element's window, as the platform names it
    // An object was found and its name query did not answer "no name".
    bool named = false;
    // No object could be had because the element's window is gone: a hide
    // of it still disarms, since nothing of it is left to click.
    bool windowGone = false;
    // The row the name matched, for a show or a focus; null for none.
    const CueRow* row = nullptr;
    // For a focus with a row: whether the element's location could be had,
    // and the rectangle.
    bool located = false;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Plays and sets the click target as the rule above allows, at nowMs.
// A focus that sets the target makes the older waiting focuses and hides
// moot (forgetTargetEventsBefore), one whose cue plays the older shows
// (forgetShowsBefore). Answers whether it armed the target.
bool applyEventFindings(const EventFindings& found, std::uint32_t nowMs);

// The two halves of it, for a platform that learns the name before the
// location: the cue (played as soon as the name is known), then the target.
void playFoundCue(const EventFindings& found, std::uint32_t nowMs);
bool setTargetFromFindings(const EventFindings& found);

// Whether a result for the event of `arrival` could still set the click
// target: no newer event has set it.
bool targetStillOpenTo(std::uint64_t arrival);
