// A minimal host for emulator tests: raw hidapi calls, requests padded into
// reports the way a host frames them, and hex helpers. Nothing here uses the
// program's own code, so the tests check the devices independently of it.
#ifndef QUORVEL_TESTS_EMULATOR_RAW_HOST_H_
#define QUORVEL_TESTS_EMULATOR_RAW_HOST_H_

#include <hidapi/hidapi.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/emulated_device_fixture.h"
#include "support/virtual_platform.h"

namespace rawhost {

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline std::string ToHex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// One device of a scenario: the minimal protocol device with extra keys.
inline nlohmann::json Device(const nlohmann::json& extra = nlohmann::json::object()) {
  nlohmann::json d = {
      {"name", "d"}, {"path", "/dev/hidraw0"}, {"vendorId", "0x248A"}, {"productId", "0x8266"}};
  d.update(extra);
  return d;
}

inline nlohmann::json Scenario(const nlohmann::json& device) {
  return {{"devices", nlohmann::json::array({device})}};
}

// Writes one request as one output report: behind report ID 0 (65 bytes),
// or, for a collection interface, as the 64-byte report itself.
inline int Send(hid_device* dev, const Bytes& request, bool collection = false) {
  Bytes report(collection ? 64 : 65, 0);
  std::copy(request.begin(), request.end(), report.begin() + (collection ? 0 : 1));
  return hid_write(dev, report.data(), report.size());
}

// Reads one report; empty on time-out, {0xEE} on error.
inline Bytes Read(hid_device* dev, int ms, size_t length = 64) {
  Bytes buffer(length + 8, 0xCC);
  int n = hid_read_timeout(dev, buffer.data(), length, ms);
  if (n < 0)
    return {0xEE};
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

inline Bytes Padded(const Bytes& head, size_t size = 64) {
  Bytes out = head;
  out.resize(size, 0);
  return out;
}

inline uint32_t Crc(const Bytes& bytes) {
  return static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

// The 22-byte firmware information request.
inline Bytes Info(uint32_t headerWord, const Bytes& version, uint32_t length, uint32_t crc) {
  Bytes r = {0x0A, 0x01};
  for (int i = 0; i < 4; ++i)
    r.push_back(static_cast<uint8_t>(headerWord >> (8 * i)));
  r.insert(r.end(), version.begin(), version.end());
  for (int i = 0; i < 4; ++i)
    r.push_back(static_cast<uint8_t>(length >> (8 * i)));
  for (int i = 0; i < 4; ++i)
    r.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  return r;
}

inline Bytes Frame(const Bytes& image, size_t offset) {
  size_t n = std::min<size_t>(62, image.size() - offset);
  Bytes r = {0x0A, 0x10};
  r.insert(r.end(), image.begin() + static_cast<long>(offset),
           image.begin() + static_cast<long>(offset + n));
  return r;
}

inline Bytes Pattern(size_t size, uint8_t seed = 7) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i)
    out[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
  return out;
}

inline int32_t Now() {
  return g_virtual.now;
}

// A test on one device at /dev/hidraw0, opened through the raw hidapi calls.
class RawDeviceTest : public EmulatedDeviceTest {
 protected:
  void OpenDevice(const nlohmann::json& device) {
    if (dev_) {
      hid_close(dev_);
      dev_ = nullptr;
    }
    LoadScenario(Scenario(device));
    dev_ = hid_open_path("/dev/hidraw0");
    ASSERT_NE(dev_, nullptr);
  }
  void TearDown() override {
    if (dev_)
      hid_close(dev_);
    EmulatedDeviceTest::TearDown();
  }
  Bytes Ask(const Bytes& request, int ms = 200) {
    EXPECT_EQ(Send(dev_, request), 65);
    return Read(dev_, ms);
  }
  const nlohmann::json& Device0() { return Record()["devices"]["d"]; }

  hid_device* dev_ = nullptr;
};

}  // namespace rawhost

#endif  // QUORVEL_TESTS_EMULATOR_RAW_HOST_H_
