#include "support/dfu_fixture.h"

#include <cctype>

#include "console/arguments.h"
#include "console/loaded_images.h"
#include "firmware_builder.h"
#include "output/log_printers.h"
#include "support/program_harness.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

std::string UpperHex(const std::string& hex) {
  std::string upper = hex;
  for (char& c : upper)
    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return upper;
}

void DfuTest::SetUp() {
  EmulatedDeviceTest::SetUp();
  harness::ResetProgramState();
  record = RunRecord();
  selection = DeviceSelection();
  UiLanguage = 1;
  LogEnabled = 1;
}

void DfuTest::TearDown() {
  harness::ResetProgramState();
  EmulatedDeviceTest::TearDown();
}

nlohmann::json DfuTest::Device(const nlohmann::json& overrides) {
  nlohmann::json device = {
      {"name", "dev"},
      {"path", kPath},
      {"vendorId", "0x248A"},
      {"productId", "0x8266"},
      {"release", "0x0100"},
      {"interface", 0},
      {"manufacturer", "Quorvel"},
      {"product", "Test Mouse"},
      {"typeCode", "0x00"},
      {"controllerVersion", "0100000000000000"},
      {"appVersion", "0100000000000000"},
      {"timing", {{"replyMs", 1}, {"eraseMs", 100}, {"blockWriteMs", 1}, {"verifyMs", 10}}},
      {"reboot", {{"leaveMs", 20}, {"awayMs", 1000}}},
  };
  device.update(overrides);
  return device;
}

void DfuTest::LoadDevices(const std::vector<nlohmann::json>& devices) {
  LoadScenario({{"devices", devices}});
}

void DfuTest::LoadDevice(const nlohmann::json& overrides) {
  LoadDevices({Device(overrides)});
}

void DfuTest::Open(const char* path) {
  ASSERT_EQ(OpenLink(path), 1);
}

std::vector<std::string> DfuTest::Requests(const std::string& device) {
  std::vector<std::string> requests;
  for (const auto& request : Record()["devices"][device]["requests"]) {
    requests.push_back(UpperHex(request["hex"].get<std::string>()));
  }
  return requests;
}

double DfuTest::RequestTime(size_t index, const std::string& device) {
  return Record()["devices"][device]["requests"].at(index)["atMs"].get<double>();
}

const nlohmann::json& DfuTest::Transfer(size_t index, const std::string& device) {
  return Record()["devices"][device]["transfers"].at(index);
}

void DfuTest::UseOnePartImage(int32_t length, const std::string& versionHex) {
  std::vector<uint8_t> bytes =
      fwbuild::PseudoRandomBytes(static_cast<size_t>(length), static_cast<uint32_t>(length));
  TwoPartImage = false;
  ASSERT_EQ(StoreProgramImage(bytes.data(), length, &LoadedImages.program), 1);
  ProgramHeader.magic = kImageMagic;
  ProgramHeader.headerSize = 32;
  ProgramHeader.bodySize = static_cast<uint32_t>(length - 32);
  for (int i = 0; i < 8; ++i) {
    ProgramHeader.version[i] = static_cast<uint8_t>(
        std::stoi(versionHex.substr(static_cast<size_t>(2 * i), 2), nullptr, 16));
  }
}
