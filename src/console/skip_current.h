// --skip-current: a device that already runs the version the image's header
// names is left alone. On a line where an operator plugs in whatever comes
// next, flashing such a device again costs time and flash wear and proves
// nothing.
#ifndef QUORVEL_CONSOLE_SKIP_CURRENT_H_
#define QUORVEL_CONSOLE_SKIP_CURRENT_H_

#include "console/command.h"
#include "dfu/run_record.h"

// Whether the command asks for it and it can apply: an update with a
// program file (-d), whose header names the version; not a control command,
// and not a passthrough-only update (-t alone), which has no version.
bool SkipCurrentApplies(const Command& command);
// Whether the versions the device reported are the image's, judged as the
// update's own check after the restart judges them: for a one-part image
// either the Controller's or the App's version; for a two-part image both,
// each its part's.
bool RunsImageVersion(const LoadedProgram& program, const VersionTexts& reported);
// The line on standard error that says why nothing was sent.
std::string CurrentDeviceNote(const LoadedProgram& program);

#endif  // QUORVEL_CONSOLE_SKIP_CURRENT_H_
