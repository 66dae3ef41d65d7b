// The record: what each device received and did, as JSON (format in
// docs/EMULATOR.md), built from the devices' state whenever it is asked for.
#ifndef QUORVEL_EMULATOR_MODEL_RECORD_H_
#define QUORVEL_EMULATOR_MODEL_RECORD_H_

#include <nlohmann/json.hpp>
#include <string>

#include "model/bytes.h"

namespace emu {
namespace internal {

// The record of every device of the world as it is now.
nlohmann::json BuildRecord();
// A version record in its text form MM-mm-RRRR-BBBBBBBB.
std::string VersionText(const Version& v);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_RECORD_H_
