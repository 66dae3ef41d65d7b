#include "console/skip_current.h"

bool SkipCurrentApplies(const Command& command) {
  return command.settings.skipCurrent && !IsControlCommand(command) && command.settings.has_pg &&
         command.program != nullptr;
}

bool RunsImageVersion(const LoadedProgram& program, const VersionTexts& reported) {
  if (!program.twoPart) {
    const std::string expected = ImageVersionText(program, ImagePart::kWhole);
    return reported.controller == expected || reported.app == expected;
  }
  return reported.controller == ImageVersionText(program, ImagePart::kController) &&
         reported.app == ImageVersionText(program, ImagePart::kApp);
}

std::string CurrentDeviceNote(const LoadedProgram& program) {
  return "quorvel-dfu: the device already runs " + ImageVersionText(program, ImagePart::kWhole) +
         ", the image's version; nothing was sent (--skip-current)";
}
