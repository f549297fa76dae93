#pragma once

#include <string>

namespace updater {

// Unattended runs: when UPDATER_ANSWERS is set (even empty), no box is displayed and each box takes
// the next answer of that comma-separated list (ok, cancel, yes, no; any letter case), or its
// default button when the list is used up or the answer does not fit the box's buttons.

// Reads UPDATER_ANSWERS; called once when a run starts.
void StartUnattendedMode();
bool IsUnattended();
// The answer of the next box of this style: the next listed answer when it fits, else the default.
int TakeUnattendedAnswer(unsigned style);
// The button a box of this style takes when nobody presses one.
int DefaultAnswer(unsigned style);

}  // namespace updater
