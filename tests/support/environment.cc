#include "support/environment.h"

extern char** environ;

namespace e2e {
namespace {

bool Steers(const std::string& name) {
  return name.rfind("LC_", 0) == 0 || name == "LANG" || name == "LANGUAGE" ||
         name.rfind("QUORVEL_", 0) == 0 || name == "LD_PRELOAD";
}

}  // namespace

std::vector<std::string> CleanEnvironment(const std::vector<std::string>& entries) {
  std::vector<std::string> kept;
  for (const std::string& entry : entries) {
    if (!Steers(entry.substr(0, entry.find('='))))
      kept.push_back(entry);
  }
  return kept;
}

std::vector<std::string> CleanEnvironment() {
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e)
    entries.push_back(*e);
  return CleanEnvironment(entries);
}

}  // namespace e2e
