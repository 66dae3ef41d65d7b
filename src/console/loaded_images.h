// The images the parser loaded for the one command being run: the default
// device program and the passthrough device's program. One process-wide
// record, filled by the argument parser (console/arguments.h) and handed down
// inside the Command (console/command.h); nothing below the console reads it.
#ifndef QUORVEL_CONSOLE_LOADED_IMAGES_H_
#define QUORVEL_CONSOLE_LOADED_IMAGES_H_

#include "image/image_store.h"

struct LoadedImagesRecord {
  LoadedProgram program;
  FirmwareImage passthrough;
};

extern LoadedImagesRecord LoadedImages;

// Each of these names a field of LoadedImages, so that ResetImages cannot
// miss one.
extern FirmwareImage& ProgramImage;
extern FirmwareImage& ControllerPart;  // view into ProgramImage
extern FirmwareImage& AppPart;         // view into ProgramImage
extern FirmwareImage& PassthroughImage;
extern ImageHeader& ProgramHeader;
extern ImageHeader& AppHeader;
extern bool& TwoPartImage;

// Empties every image and header (the tests start every case so).
void ResetImages();

#endif  // QUORVEL_CONSOLE_LOADED_IMAGES_H_
