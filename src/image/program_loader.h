// Loading firmware program files: finding and checking the image inside the
// default device program, and reading the passthrough device's program.
// Both loaders read regular files only (a FIFO or device node is refused
// before it is opened), and write the image records (image/image_store.h)
// only when they succeed.
#ifndef QUORVEL_IMAGE_PROGRAM_LOADER_H_
#define QUORVEL_IMAGE_PROGRAM_LOADER_H_

#include <cstdint>
#include <string>

#include "image/image_layout.h"

// What a chip platform's program file must pass.
struct ProgramFileChecks {
  bool onePartOnly = false;  // a two-part layout is refused
  bool digestCheck = true;   // the stored SHA-256 digest must match
  bool search = false;       // the image may start at any multiple of 4096
};

// Reads the file, finds the image (at 0, or with search at the first
// multiple of 4096 where ParseImage succeeds) and keeps it: 1 with
// ProgramImage, ProgramHeader, TwoPartImage and for two parts ControllerPart,
// AppPart and AppHeader set from this file; 0 when the file cannot be read,
// is 2 GiB or larger, holds no valid image or its parts cannot be cut; the
// records are then left as they were.
int LoadProgramFile(const std::string& path, const ProgramFileChecks& checks);
// Reads the whole file into PassthroughImage: 1, or 0 (files above
// kPassthroughMaxSize bytes are refused unread, empty ones after reading).
int LoadPassthroughFile(const std::string& path);

// Whether a valid image starts at bytes: a one-part image at offset 0, else
// (unless checks.onePartOnly) a two-part image with headers at 0x10000 and
// 0x30000; complete within length, and with checks.digestCheck its digest
// (the App part's for two parts) matching. 1 and *layout filled, or 0 with
// *layout unspecified. Writes nothing else.
int ParseImage(const uint8_t* bytes, int64_t length, const ProgramFileChecks& checks,
               ImageLayout* layout);

#endif  // QUORVEL_IMAGE_PROGRAM_LOADER_H_
