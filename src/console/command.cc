#include "console/command.h"

#include "console/loaded_images.h"
#include "console/prompt_case.h"

Command CurrentCommand() {
  Command command;
  command.settings = DfuSettings;
  command.control = ControlFlags;
  command.selection.serial = DfuSettings.serial;
  command.selection.port = DfuSettings.port;
  command.selection.serialIgnoresCase = kPromptCase == PromptCase::kWholeLineLowered;
  command.program = &LoadedImages.program;
  command.passthrough = &LoadedImages.passthrough;
  command.output = DfuSettings.json || DfuSettings.events ? OutputMode::kJson : OutputMode::kText;
  return command;
}

Command DeviceQueryCommand() {
  Command command;
  command.program = &LoadedImages.program;
  command.passthrough = &LoadedImages.passthrough;
  return command;
}

bool IsControlCommand(const Command& command) {
  return command.control.reset || command.control.force;
}

TransferPacing PacingOf(const Command& command) {
  TransferPacing pacing;
  pacing.blockSize = command.settings.bsize;
  pacing.intervalMs = command.settings.intv;
  return pacing;
}

TransferImage TransferOf(const Command& command, ImagePart part) {
  return SelectTransferImage(*command.program, part);
}
