// Shared set-up for the transport tests: the emulator on the virtual clock,
// the link closed and both device lists empty with no filter before and
// after every test, and helpers to describe devices and read back what they
// received.
#ifndef QUORVEL_TESTS_TRANSPORT_TRANSPORT_FIXTURE_H_
#define QUORVEL_TESTS_TRANSPORT_TRANSPORT_FIXTURE_H_

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/emulated_device_fixture.h"
#include "transport/device_discovery.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

inline void ResetDeviceList(DeviceList* list) {
  ClearDevices(list);
  list->vendorId = 0;
  list->productId = 0;
  list->interfaceNumber = -1;
}

inline void ResetTransport() {
  CloseLink();
  HidLink.collectionMode = false;
  ResetDeviceList(&CurrentDevices);
  ResetDeviceList(&KnownDevices);
}

// Lower-case hex of the bytes, the way the expectations are written.
inline std::string HexOf(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  return hex;
}

inline std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

// count bytes: start, start + step, ... (mod 256).
inline std::vector<uint8_t> Pattern(size_t count, uint8_t start, uint8_t step = 1) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<uint8_t>(start + i * step);
  return bytes;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline std::vector<uint8_t> Zeros(size_t count) {
  return std::vector<uint8_t>(count, 0);
}

// A protocol device with the given name and path and a plain identity.
inline nlohmann::json DeviceJson(const std::string& name, const std::string& path) {
  return {{"name", name},          {"path", path},        {"vendorId", "0x248A"},
          {"productId", "0x8266"}, {"release", "0x0102"}, {"interface", 1}};
}

// An input report the device sends unasked at the given time.
inline nlohmann::json ReportAt(int atMs, const std::vector<uint8_t>& bytes) {
  return {{"atMs", atMs}, {"hex", HexOf(bytes)}};
}

class TransportTest : public EmulatedDeviceTest {
 protected:
  void SetUp() override {
    EmulatedDeviceTest::SetUp();
    ResetTransport();
  }
  void TearDown() override {
    ResetTransport();
    EmulatedDeviceTest::TearDown();
  }

  // Loads the devices with every raw write recorded.
  void LoadDevices(std::initializer_list<nlohmann::json> devices) {
    nlohmann::json scenario = nlohmann::json::object();
    scenario["recordWrites"] = true;
    scenario["devices"] = nlohmann::json::array();
    for (const nlohmann::json& device : devices)
      scenario["devices"].push_back(device);
    LoadScenario(scenario);
  }

  const nlohmann::json& Writes(const std::string& device) {
    static const nlohmann::json kNone = nlohmann::json::array();
    const nlohmann::json& record = Record();
    if (!record.contains("devices") || !record["devices"].contains(device) ||
        !record["devices"][device].contains("writes")) {
      return kNone;
    }
    return record["devices"][device]["writes"];
  }

  std::vector<std::string> WrittenHex(const std::string& device) {
    std::vector<std::string> hex;
    for (const nlohmann::json& write : Writes(device)) {
      hex.push_back(Lower(write["hex"].get<std::string>()));
    }
    return hex;
  }

  std::vector<int> WrittenLengths(const std::string& device) {
    std::vector<int> lengths;
    for (const nlohmann::json& write : Writes(device))
      lengths.push_back(write["length"].get<int>());
    return lengths;
  }

  std::vector<double> WrittenAt(const std::string& device) {
    std::vector<double> times;
    for (const nlohmann::json& write : Writes(device))
      times.push_back(write["atMs"].get<double>());
    return times;
  }

  // True when nobody holds the I/O lock now.
  static bool IoLockFree() {
    if (!HidLink.ioLock.try_lock())
      return false;
    HidLink.ioLock.unlock();
    return true;
  }
};

#endif  // QUORVEL_TESTS_TRANSPORT_TRANSPORT_FIXTURE_H_
