// Values as every JSON line of the program writes them, so that the listing,
// the version report and the result line of dfu and ctrl agree.
#ifndef QUORVEL_OUTPUT_JSON_FIELDS_H_
#define QUORVEL_OUTPUT_JSON_FIELDS_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The text, or null when there is none.
nlohmann::ordered_json OptionalText(const std::optional<std::string>& text);
// A USB ID as lsusb and udev write it: four lower-case hex digits.
std::string HexId(uint16_t id);

#endif  // QUORVEL_OUTPUT_JSON_FIELDS_H_
