#include "model/json_file.h"

#include <fstream>
#include <sstream>

namespace emu {
namespace internal {

using nlohmann::json;

bool ReadJsonFile(const std::string& path, json* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error)
      *error = "cannot open " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  *out = json::parse(text.str(), nullptr, false, true);
  if (out->is_discarded()) {
    if (error)
      *error = path + " is not valid JSON";
    return false;
  }
  return true;
}

bool WriteJsonFile(const std::string& path, const json& j) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out)
    return false;
  out << j.dump(2) << "\n";
  return static_cast<bool>(out);
}

}  // namespace internal
}  // namespace emu
