// A wait on the HID layer's owner thread during which readers can still hand
// their reports over and device changes run, so the switch's answers are
// decoded while it lasts; nothing posted to the program's windows runs (no
// input, timer or hotkey). Goes with the hidden-window carrier.
#pragma once

#include <functional>

// How often a wait takes what is not a reader's hand-over: the messages
// other programs and the system send, the device changes the simulated bus
// posts.
inline constexpr unsigned kIowKit2LookMilliseconds = 50;

// A wait shorter than kIowKit2LookMilliseconds is one sleep, after which the
// reports handed over meanwhile are taken (and, once in that time, the sent
// messages): a pause between a firmware record's reports costs no more than a
// sleep. A longer one takes every sent message at once and ends early once
// `done` (when given) holds.
void IowKit2SleepServingHandOvers(unsigned milliseconds, const std::function<bool()>& done);
