// hidapi's enumeration records on the shared bus: a list of JSON objects with
// the strings in UTF-8.
#ifndef QUORVEL_EMULATOR_SHARED_BUS_DEVICE_INFO_JSON_H_
#define QUORVEL_EMULATOR_SHARED_BUS_DEVICE_INFO_JSON_H_

#include <hidapi/hidapi.h>

#include <nlohmann/json.hpp>

namespace emu {
namespace wire {

// The list from `list` on, following next; an empty array for null.
nlohmann::json InfoListToJson(const hid_device_info* list);
// calloc'd records (freed by hid_free_enumeration); null for an empty list
// or anything but an array. Missing keys take hidapi's zero values.
hid_device_info* InfoListFromJson(const nlohmann::json& list);

}  // namespace wire
}  // namespace emu

#endif  // QUORVEL_EMULATOR_SHARED_BUS_DEVICE_INFO_JSON_H_
