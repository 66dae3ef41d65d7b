// The units the device works in: bytes, its 8-byte version records and its
// 64-byte reports, and the time that never comes.
#ifndef QUORVEL_EMULATOR_MODEL_BYTES_H_
#define QUORVEL_EMULATOR_MODEL_BYTES_H_

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace emu {
namespace internal {

using Bytes = std::vector<uint8_t>;
using Version = std::array<uint8_t, 8>;

// A time that is never reached: nothing scheduled.
constexpr int64_t kNever = INT64_MAX;
// Every input and output report of the device, without a report ID byte.
constexpr size_t kReportSize = 64;

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_BYTES_H_
