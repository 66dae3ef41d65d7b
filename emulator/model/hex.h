// Bytes as upper-case hex digits, as the record and the shared bus carry them.
#ifndef QUORVEL_EMULATOR_MODEL_HEX_H_
#define QUORVEL_EMULATOR_MODEL_HEX_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace emu {
namespace internal {

// Two upper-case hex digits per byte, no separators; "" for no bytes.
std::string HexText(const uint8_t* data, size_t size);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_HEX_H_
