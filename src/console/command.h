// The one command the console hands down: what the parser formed, taken
// from the process-wide settings, control flags and loaded images, so that
// everything below the console gets it, or the part it needs, as arguments.
#ifndef QUORVEL_CONSOLE_COMMAND_H_
#define QUORVEL_CONSOLE_COMMAND_H_

#include "console/dfu_settings.h"
#include "dfu/firmware_transfer.h"
#include "image/image_store.h"
#include "transport/device_selection.h"

// Text lines, or one JSON line per result instead (--json).
enum class OutputMode { kText, kJson };

struct Command {
  DfuSettingsRecord settings;
  ControlFlagsRecord control;
  DeviceSelection selection;
  // The loaded images; they outlive the command.
  const LoadedProgram* program = nullptr;
  const FirmwareImage* passthrough = nullptr;
  OutputMode output = OutputMode::kText;
};

// The command of DfuSettings, ControlFlags and the loaded images
// (console/loaded_images.h) as the parser left them.
Command CurrentCommand();
// A command that names no device and changes nothing ("cv").
Command DeviceQueryCommand();

// Whether the command takes a device out of its modes or restarts it,
// rather than updating it.
bool IsControlCommand(const Command& command);
// The pacing of the data frames its settings ask for (bsize, intv).
TransferPacing PacingOf(const Command& command);
// The transfer of that part of the command's program.
TransferImage TransferOf(const Command& command, ImagePart part);

#endif  // QUORVEL_CONSOLE_COMMAND_H_
