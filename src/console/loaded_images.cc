#include "console/loaded_images.h"

LoadedImagesRecord LoadedImages;

FirmwareImage& ProgramImage = LoadedImages.program.image;
FirmwareImage& ControllerPart = LoadedImages.program.controllerPart;
FirmwareImage& AppPart = LoadedImages.program.appPart;
FirmwareImage& PassthroughImage = LoadedImages.passthrough;
ImageHeader& ProgramHeader = LoadedImages.program.header;
ImageHeader& AppHeader = LoadedImages.program.appHeader;
bool& TwoPartImage = LoadedImages.program.twoPart;

void ResetImages() {
  LoadedImages = LoadedImagesRecord{};
}
