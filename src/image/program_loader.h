// Loading firmware program files: finding and checking the image inside the
// default device program, and reading the passthrough device's program.
// Both loaders read regular files only: the file is opened without blocking
// and a FIFO or device node is refused once opened, before anything is read
// (platform/platform.h, readRegularFile). They write only the record they
// are given.
#ifndef QUORVEL_IMAGE_PROGRAM_LOADER_H_
#define QUORVEL_IMAGE_PROGRAM_LOADER_H_

#include <cstdint>
#include <limits>
#include <string>

#include "image/image_layout.h"
#include "image/image_store.h"

// What a chip platform's program file must pass.
struct ProgramFileChecks {
  bool onePartOnly = false;  // a two-part layout is refused
  bool digestCheck = true;   // the stored SHA-256 digest must match
  bool search = false;       // the image may start at any multiple of 4096
};

// Image lengths are signed 32-bit: larger program files are refused.
constexpr int64_t kProgramMaxSize = std::numeric_limits<int32_t>::max();

// Why a load failed, where the user can be told more than "no valid image".
struct ProgramLoadFailure {
  bool tooLarge = false;  // the file is larger than kProgramMaxSize bytes
  int64_t fileSize = 0;   // its size, when tooLarge
};

// Finds the image in the file (at 0, or with search at the first multiple
// of 4096 where ParseImage would succeed) and keeps it in *program: 1 with
// image, header, twoPart and for two parts both parts and appHeader set
// from this file. Reads only the headers at the starts tried and then the
// bytes kept, so memory grows with the image, not with the padding before
// it. 0 when the file cannot be read, is 2 GiB or larger (then, with a
// failure record, tooLarge and fileSize are set and nothing is read) or
// holds no valid image: *program is then left as it was; or 0 when the
// parts of a two-part image cannot be cut: header, appHeader and twoPart
// are then this file's and the image and its parts are empty.
int LoadProgramFile(const std::string& path, const ProgramFileChecks& checks,
                    LoadedProgram* program, ProgramLoadFailure* failure = nullptr);
// Reads the whole file into *image: 1, or 0 (files above kPassthroughMaxSize
// bytes are refused unread, empty ones after reading; *image is then empty,
// or as it was when the file could not be read).
int LoadPassthroughFile(const std::string& path, FirmwareImage* image);

// Whether a valid image starts at bytes: a one-part image at offset 0, else
// (unless checks.onePartOnly) a two-part image with headers at 0x10000 and
// 0x30000; complete within length, and with checks.digestCheck its digest
// (the App part's for two parts) matching. 1 and *layout filled, or 0 with
// *layout unspecified. Writes nothing else.
int ParseImage(const uint8_t* bytes, int64_t length, const ProgramFileChecks& checks,
               ImageLayout* layout);

#endif  // QUORVEL_IMAGE_PROGRAM_LOADER_H_
