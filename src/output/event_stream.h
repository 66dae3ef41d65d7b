// --events: the run as a stream of JSON lines on standard output, for a
// program that drives this one (the production station, a GUI, a factory
// system): one line when the run enters another phase, one when the
// download's percentage changes, and the --json result line last. Standard
// output then carries nothing else: the text output is suppressed as for
// --json, and these lines are written past the suppression, each flushed.
//
//   {"event":"phase","phase":"connecting","ms":12}
//   {"event":"progress","phase":"downloading","percent":37,"ms":900}
//
// "ms" is NowMs(), milliseconds since the program started. The phases
// follow the step headings the procedures note (NoteStepHeading), so that
// every sequence of every chip platform reports them without a call of its
// own; the connection waits and the download add theirs.
#ifndef QUORVEL_OUTPUT_EVENT_STREAM_H_
#define QUORVEL_OUTPUT_EVENT_STREAM_H_

#include <cstdint>
#include <string>

#include "output/message_table.h"

// The phase names, as the lines carry them.
inline constexpr char kPhaseWaiting[] = "waiting";  // no matching device answers yet
inline constexpr char kPhaseConnecting[] = "connecting";
inline constexpr char kPhaseUpgradeMode[] = "upgradeMode";  // entering, announcing, starting
inline constexpr char kPhaseDownloading[] = "downloading";
inline constexpr char kPhaseDownloadingPassthrough[] = "downloadingPassthrough";
inline constexpr char kPhaseVerifying[] = "verifying";
inline constexpr char kPhaseRestarting[] = "restarting";
inline constexpr char kPhaseCheckingVersion[] = "checkingVersion";
inline constexpr char kPhasePassthrough[] = "passthrough";  // switching it on or off
inline constexpr char kPhaseLeavingUpgradeMode[] = "leavingUpgradeMode";

// The line of a phase, and of a percentage within one, without the line
// end.
std::string FormatPhaseEvent(const std::string& phase, int32_t ms);
std::string FormatProgressEvent(const std::string& phase, int percent, int32_t ms);
// The phase a step with that heading belongs to; nullptr for a heading
// that starts none (the heading's phase goes on).
const char* PhaseOfStep(Msg heading);

// The command's stream starts (on: it asked for --events) or ends; with on
// false, or outside a command, the notes below write nothing.
void BeginEventStream(bool on);
void EndEventStream();
// Writes the phase's line unless the stream is already in that phase.
void NoteEventPhase(const char* phase);
// The step with that heading starts: its phase's line when it has one.
void NoteStepPhase(Msg heading);
// sent of length bytes have gone to the device: a progress line in the
// current phase whenever the percentage (0 to 100) differs from the last
// one that phase showed.
void NoteTransferProgress(int64_t length, int64_t sent);

#endif  // QUORVEL_OUTPUT_EVENT_STREAM_H_
