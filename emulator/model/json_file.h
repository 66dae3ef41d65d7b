// JSON files of the emulator: scenarios, records and saved device state.
#ifndef QUORVEL_EMULATOR_MODEL_JSON_FILE_H_
#define QUORVEL_EMULATOR_MODEL_JSON_FILE_H_

#include <nlohmann/json.hpp>
#include <string>

namespace emu {
namespace internal {

// Reads and parses the file (comments allowed); false, with a message in
// *error if given, when it cannot be read or is not JSON.
bool ReadJsonFile(const std::string& path, nlohmann::json* out, std::string* error);
// Writes j indented by 2 with a final newline; false when the file could not
// be written.
bool WriteJsonFile(const std::string& path, const nlohmann::json& j);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_JSON_FILE_H_
