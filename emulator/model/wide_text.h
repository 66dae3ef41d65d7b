// hidapi's strings are wide; the scenario, the record and the shared bus
// carry UTF-8. Conversions between the two.
#ifndef QUORVEL_EMULATOR_MODEL_WIDE_TEXT_H_
#define QUORVEL_EMULATOR_MODEL_WIDE_TEXT_H_

#include <optional>
#include <string>

namespace emu {
namespace internal {

// UTF-8 of a wide string; no value for a null pointer.
std::optional<std::string> Utf8(const wchar_t* text);
// The wide string of UTF-8 text; a truncated sequence at the end gives what
// its bytes hold.
std::wstring Wide(const std::string& utf8);
// calloc'd wide copy for hidapi's records (freed by hid_free_enumeration);
// null for no value or when memory runs out.
wchar_t* WideDup(const std::optional<std::string>& utf8);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_WIDE_TEXT_H_
