// A production line as a demanding user sets one up on the shared bus: four
// identical dongles (248A:8266) on the four ports of one hub, with serial
// numbers that differ only in case and one without a serial; a keyboard of
// the same vendor that speaks the update protocol; another vendor's device
// with the dongle's product ID that speaks it too; and another vendor's
// keyboard that does not. Each dongle comes back from its restart as
// 248A:8267 at its own port.
#ifndef QUORVEL_TESTS_SUPPORT_DONGLE_LINE_H_
#define QUORVEL_TESTS_SUPPORT_DONGLE_LINE_H_

#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace e2e {

constexpr int kLineDongles = 4;

// Dongle k (1 to 4): "dongle1" at "1-3.1" with serial "QV24A01X", ...,
// "dongle3" with "qv24a03x", "dongle4" with no serial.
std::string LineDongleName(int k);
std::string LineDonglePort(int k);
std::string LineDongleSerial(int k);  // empty: the dongle reports none
// The other devices: "keyboard5200" (248A:5200, protocol, port "1-4"),
// "other8266" (1234:8266, protocol, port "1-5") and "keyboard" (046D:C31C,
// no protocol).
extern const char kLineKeyboard[];
extern const char kLineOtherVendor[];
extern const char kLineUnrelated[];

// The scenario's device entries, each with a hidraw path of its own.
nlohmann::json LineDongle(int k);
nlohmann::json LineOfDongles();

// The names of the devices the record shows opened or sent a request, by
// any process.
std::set<std::string> TouchedDevices(const nlohmann::json& record);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_DONGLE_LINE_H_
