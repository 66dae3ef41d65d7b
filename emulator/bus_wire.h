// The shared bus's wire: one JSON message per call, each led by its length
// as 4 bytes little-endian, over a Unix stream socket between a preloaded
// process and the bus process. Also the enumeration record in both
// directions, since hidapi's strings are wide and the wire carries UTF-8.
#ifndef QUORVEL_EMULATOR_BUS_WIRE_H_
#define QUORVEL_EMULATOR_BUS_WIRE_H_

#include <hidapi/hidapi.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace emu {
namespace wire {

// Whole messages or nothing; false when the peer has gone or sent garbage.
bool Send(int fd, const nlohmann::json& message);
bool Receive(int fd, nlohmann::json* message);

// hidapi's enumeration records to and from the wire (a list).
nlohmann::json InfoListToJson(const hid_device_info* list);
hid_device_info* InfoListFromJson(const nlohmann::json& list);

std::optional<std::string> Utf8(const wchar_t* text);
std::wstring Wide(const std::string& utf8);
// calloc'd copy for hidapi's records (freed by hid_free_enumeration).
wchar_t* WideDup(const std::optional<std::string>& utf8);

}  // namespace wire
}  // namespace emu

#endif  // QUORVEL_EMULATOR_BUS_WIRE_H_
