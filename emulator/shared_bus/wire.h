// The shared bus's wire: one JSON message per call, each led by its length as
// 4 bytes little-endian, over a Unix stream socket between a process and the
// bus process.
#ifndef QUORVEL_EMULATOR_SHARED_BUS_WIRE_H_
#define QUORVEL_EMULATOR_SHARED_BUS_WIRE_H_

#include <cstdint>
#include <nlohmann/json.hpp>

namespace emu {
namespace wire {

// A message whose length says more than this is not one of ours.
constexpr uint32_t kMaxMessage = 16u << 20;

// Writes the whole frame; false when the peer has gone.
bool Send(int fd, const nlohmann::json& message);
// Reads one whole frame into *message; false when the peer has gone, the
// length is over kMaxMessage or the text is not JSON (*message then holds
// nothing useful).
bool Receive(int fd, nlohmann::json* message);

}  // namespace wire
}  // namespace emu

#endif  // QUORVEL_EMULATOR_SHARED_BUS_WIRE_H_
