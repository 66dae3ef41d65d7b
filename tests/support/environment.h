// The environment a run of the program or of the emulator starts from.
#ifndef QUORVEL_TESTS_SUPPORT_ENVIRONMENT_H_
#define QUORVEL_TESTS_SUPPORT_ENVIRONMENT_H_

#include <string>
#include <vector>

namespace e2e {

// The caller's environment ("NAME=value" entries, in their order) without
// what would change what the program or the emulator does: the locale
// settings (LANG, LANGUAGE, LC_*), the emulator's and the tools' settings
// (QUORVEL_*) and LD_PRELOAD. The caller adds back the ones its run needs.
std::vector<std::string> CleanEnvironment();
// The same filter over the given entries.
std::vector<std::string> CleanEnvironment(const std::vector<std::string>& entries);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_ENVIRONMENT_H_
