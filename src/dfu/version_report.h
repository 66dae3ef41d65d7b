// What the connected device is and which firmware it runs: the device name,
// the Controller and App version records, and the report printed by "cv".
#ifndef QUORVEL_DFU_VERSION_REPORT_H_
#define QUORVEL_DFU_VERSION_REPORT_H_

#include <cstdint>
#include <string>

#include "dfu/protocol.h"

// Prints the report and closes the link, whatever happens. True when both
// version records were read.
bool ReadDeviceVersions();
// name: at least 24 bytes.
bool QueryDeviceName(char* name);
// Copies the 8-byte record into out when out is given and *inoutLen >= 8.
bool ReadVersionInfo(uint8_t selector, uint8_t* out, int32_t* inoutLen);
const char* DeviceNameForType(uint8_t typeCode);
void PrintDeviceInfo(const std::string& name);
void PrintVersionHeader(uint8_t selector);
void PrintVersionRecord(const std::string& versionText, const uint8_t record[8]);

#endif  // QUORVEL_DFU_VERSION_REPORT_H_
