// Typed reading of scenario values: numbers that may be written as "0x.."
// strings, versions in hex or in their text form, milliseconds, byte strings.
// An absent key keeps the default; null clears an optional value.
#ifndef QUORVEL_EMULATOR_MODEL_SCENARIO_VALUES_H_
#define QUORVEL_EMULATOR_MODEL_SCENARIO_VALUES_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/bytes.h"

namespace emu {
namespace internal {

// Where parsing is, for the error message.
struct Ctx {
  std::string where;
  std::string* error;
  bool Fail(const std::string& text);
};

bool CheckKeys(const nlohmann::json& j, const std::set<std::string>& allowed, Ctx& c);
bool GetBool(const nlohmann::json& j, const char* key, bool* out, Ctx& c);
bool GetOptBool(const nlohmann::json& j, const char* key, std::optional<bool>* out, Ctx& c);
bool GetInt(const nlohmann::json& j, const char* key, int* out, Ctx& c);
bool GetOptInt(const nlohmann::json& j, const char* key, std::optional<int>* out, Ctx& c);
bool GetInt64(const nlohmann::json& j, const char* key, int64_t* out, Ctx& c);
bool GetU16(const nlohmann::json& j, const char* key, uint16_t* out, Ctx& c);
bool GetOptU16(const nlohmann::json& j, const char* key, std::optional<uint16_t>* out, Ctx& c);
// Milliseconds (fractions allowed) into microseconds.
bool GetMs(const nlohmann::json& j, const char* key, int64_t* outUs, Ctx& c);
bool GetString(const nlohmann::json& j, const char* key, std::string* out, Ctx& c);
bool GetOptString(const nlohmann::json& j, const char* key, std::optional<std::string>* out,
                  Ctx& c);
bool GetVersion(const nlohmann::json& j, const char* key, Version* out, Ctx& c);
bool GetHex(const nlohmann::json& j, const char* key, Bytes* out, Ctx& c);
bool GetWordList(const nlohmann::json& j, const char* key, std::vector<uint32_t>* out, Ctx& c);
bool CheckBlockSize(int blockSize, bool echo, Ctx& c);
// "0x1F", "31" or a JSON number.
bool ParseNumber(const nlohmann::json& v, int64_t* out);
bool ParseHexBytes(const std::string& text, Bytes* out);
// A version record from 16 hex digits (the 8 record bytes) or its text form
// MM-mm-RRRR-BBBBBBBB; false for anything else.
bool ParseVersion(const std::string& text, Version* out);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_SCENARIO_VALUES_H_
