#pragma once

#include <string>

namespace updater {

// Message ids of the message table.
enum MessageId : unsigned {
    kMsgFileNotFound = 1,
    kMsgBadFormat = 2,
    kMsgOutOfMemory = 3,
    kMsgBadItemCount = 4,
    kMsgPathFailed = 5,
    kMsgBadSymbol = 6,
    kMsgUndoFailed = 7,
    kMsgCopyFailed = 8,
    kMsgLaunchFailed = 9,
    kMsgDeleteFailed = 10,
    kMsgBadProcedureCount = 11,
    kMsgAttributeFailed = 12,
    kMsgMakeDirFailed = 13,
    kMsgMoveFailed = 14,
    kMsgLinkFailed = 15,
    kMsgRunInProgress = 16,
};

// Formats message `id` with printf-style arguments and shows it in an error box under the current
// caption; returns when the box is closed. Every failure of a run is reported through it, once;
// none after a stop of the run was asked for (platform::RequestStop).
void ShowError(unsigned id, ...);
// The text ShowError would show for message `id`.
std::string ErrorText(unsigned id, ...);

// While a script is only checked, errors go to `collector` instead of a box; null shows them again.
using ErrorCollector = void (*)(const std::string& text);
void CollectErrors(ErrorCollector collector);

}  // namespace updater

namespace updater {

// Whether an error box has been shown since the run started: a stopped run without one was stopped
// by the user's answer.
bool ErrorWasShown();
void ForgetShownErrors();

}  // namespace updater
