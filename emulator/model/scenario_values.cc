// Typed reading of scenario values.
#include "model/scenario_values.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace emu {
namespace internal {

using nlohmann::json;

bool Ctx::Fail(const std::string& text) {
  if (error)
    *error = where + ": " + text;
  return false;
}

bool CheckKeys(const json& j, const std::set<std::string>& allowed, Ctx& c) {
  if (!j.is_object())
    return c.Fail("expected an object");
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    if (key.empty() || key[0] == '_' || key == "comment")
      continue;  // room for notes
    if (!allowed.count(key))
      return c.Fail("unknown key \"" + key + "\"");
  }
  return true;
}

bool ParseNumber(const json& v, int64_t* out) {
  if (v.is_number_integer()) {
    *out = v.get<int64_t>();
    return true;
  }
  if (v.is_number_float()) {
    double d = v.get<double>();
    if (d != std::floor(d))
      return false;
    *out = static_cast<int64_t>(d);
    return true;
  }
  if (!v.is_string())
    return false;
  std::string s = v.get<std::string>();
  if (s.empty())
    return false;
  int base = 10;
  size_t start = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    start = 2;
  }
  char* end = nullptr;
  long long value = std::strtoll(s.c_str() + start, &end, base);
  if (end == s.c_str() + start || *end != '\0')
    return false;
  *out = value;
  return true;
}

bool ParseHexBytes(const std::string& text, Bytes* out) {
  std::string digits;
  for (char ch : text) {
    if (ch == ' ' || ch == '-' || ch == ':')
      continue;
    if (!std::isxdigit(static_cast<unsigned char>(ch)))
      return false;
    digits += ch;
  }
  if (digits.size() % 2 != 0)
    return false;
  out->clear();
  for (size_t i = 0; i < digits.size(); i += 2) {
    out->push_back(static_cast<uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
  }
  return true;
}

// Absent and null both leave the default for plain values.
static const json* Present(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null())
    return nullptr;
  return &*it;
}

// An optional value: absent leaves *out alone; where null counts, it empties
// *out; anything else must pass get.
template <typename T, typename Get>
bool GetOptional(const json& j, const char* key, std::optional<T>* out, Ctx& c, bool nullEmpties,
                 Get get) {
  if (!j.contains(key) || (j[key].is_null() && !nullEmpties))
    return true;
  if (j[key].is_null()) {
    out->reset();
    return true;
  }
  T value{};
  if (!get(j, key, &value, c))
    return false;
  *out = value;
  return true;
}

bool GetBool(const json& j, const char* key, bool* out, Ctx& c) {
  const json* v = Present(j, key);
  if (!v)
    return true;
  if (!v->is_boolean())
    return c.Fail(std::string("\"") + key + "\" must be true or false");
  *out = v->get<bool>();
  return true;
}

bool GetOptBool(const json& j, const char* key, std::optional<bool>* out, Ctx& c) {
  return GetOptional(j, key, out, c, true, GetBool);
}

bool GetInt64(const json& j, const char* key, int64_t* out, Ctx& c) {
  const json* v = Present(j, key);
  if (!v)
    return true;
  if (!ParseNumber(*v, out))
    return c.Fail(std::string("\"") + key + "\" must be a whole number");
  return true;
}

bool GetInt(const json& j, const char* key, int* out, Ctx& c) {
  int64_t value = *out;
  if (!GetInt64(j, key, &value, c))
    return false;
  if (value < INT32_MIN || value > INT32_MAX)
    return c.Fail(std::string("\"") + key + "\" too big");
  *out = static_cast<int>(value);
  return true;
}

bool GetOptInt(const json& j, const char* key, std::optional<int>* out, Ctx& c) {
  return GetOptional(j, key, out, c, true, GetInt);
}

bool GetU16(const json& j, const char* key, uint16_t* out, Ctx& c) {
  int64_t value = *out;
  if (!GetInt64(j, key, &value, c))
    return false;
  if (value < 0 || value > 0xFFFF)
    return c.Fail(std::string("\"") + key + "\" must be 16-bit");
  *out = static_cast<uint16_t>(value);
  return true;
}

bool GetOptU16(const json& j, const char* key, std::optional<uint16_t>* out, Ctx& c) {
  return GetOptional(j, key, out, c, false, GetU16);
}

bool GetMs(const json& j, const char* key, int64_t* outUs, Ctx& c) {
  const json* v = Present(j, key);
  if (!v)
    return true;
  if (!v->is_number() || v->get<double>() < 0) {
    return c.Fail(std::string("\"") + key + "\" must be a number of milliseconds >= 0");
  }
  *outUs = static_cast<int64_t>(std::llround(v->get<double>() * 1000.0));
  return true;
}

bool GetString(const json& j, const char* key, std::string* out, Ctx& c) {
  const json* v = Present(j, key);
  if (!v)
    return true;
  if (!v->is_string())
    return c.Fail(std::string("\"") + key + "\" must be a string");
  *out = v->get<std::string>();
  return true;
}

bool GetOptString(const json& j, const char* key, std::optional<std::string>* out, Ctx& c) {
  return GetOptional(j, key, out, c, false, GetString);
}

bool ParseVersion(const std::string& text, Version* out) {
  Bytes bytes;
  if (text.size() == 19 && text[2] == '-' && text[5] == '-' && text[10] == '-') {
    // Text form MM-mm-RRRR-BBBBBBBB: revision and build are written high byte first.
    Bytes parts;
    if (!ParseHexBytes(text, &parts) || parts.size() != 8)
      return false;
    *out = {parts[0], parts[1], parts[3], parts[2], parts[7], parts[6], parts[5], parts[4]};
    return true;
  }
  if (!ParseHexBytes(text, &bytes) || bytes.size() != 8)
    return false;
  std::copy(bytes.begin(), bytes.end(), out->begin());
  return true;
}

bool GetVersion(const json& j, const char* key, Version* out, Ctx& c) {
  const json* v = Present(j, key);
  if (!v)
    return true;
  if (!v->is_string() || !ParseVersion(v->get<std::string>(), out)) {
    return c.Fail(std::string("\"") + key +
                  "\" must be 16 hex digits (the 8 record bytes) or MM-mm-RRRR-BBBBBBBB");
  }
  return true;
}

bool GetHex(const json& j, const char* key, Bytes* out, Ctx& c) {
  const json* v = Present(j, key);
  if (!v)
    return true;
  if (!v->is_string() || !ParseHexBytes(v->get<std::string>(), out)) {
    return c.Fail(std::string("\"") + key + "\" must be a string of hex byte pairs");
  }
  return true;
}

bool GetWordList(const json& j, const char* key, std::vector<uint32_t>* out, Ctx& c) {
  const json* v = Present(j, key);
  if (!v)
    return true;
  if (!v->is_array())
    return c.Fail(std::string("\"") + key + "\" must be a list");
  out->clear();
  for (const json& item : *v) {
    int64_t word = 0;
    if (!ParseNumber(item, &word) || word < 0 || word > 0xFFFFFFFFll) {
      return c.Fail(std::string("\"") + key + "\" holds a value that is not a 32-bit word");
    }
    out->push_back(static_cast<uint32_t>(word));
  }
  return true;
}

bool CheckBlockSize(int blockSize, bool echo, Ctx& c) {
  if (blockSize < 1 || blockSize > 65536)
    return c.Fail("\"blockSize\" must be 1 to 65536");
  if (echo && blockSize != 62)
    return c.Fail("\"echo\" needs \"blockSize\" 62");
  return true;
}

}  // namespace internal
}  // namespace emu
