// Reading the emulator's record of a run: what each device received, how it
// was opened and the state it was left in.
#ifndef QUORVEL_TESTS_SUPPORT_DEVICE_RECORD_H_
#define QUORVEL_TESTS_SUPPORT_DEVICE_RECORD_H_

#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace e2e {

enum class RecordState { kMissing, kNotJson, kRead };

struct RecordFile {
  RecordState state = RecordState::kMissing;
  nlohmann::json record = nlohmann::json::object();  // an empty object unless read
};

// kMissing when the file cannot be opened, kNotJson when it holds no JSON
// (an empty file included).
RecordFile ReadRecordFile(const std::string& path);

// The record of one device (an empty object when absent).
const nlohmann::json& DeviceRecord(const nlohmann::json& record, const std::string& name);

// The processes that opened the device, by the pids its record noted.
std::set<int> OpeningPids(const nlohmann::json& device);

// The requests a device received, as a compact trace: H handshake, N name,
// Q0/Q1 version queries, F+/F- forced upgrade mode, E upgrade mode, I
// firmware information, S start, D a run of data frames, V verify, R/B
// restart to the application/bootloader, P+/P- passthrough, X anything else;
// "?" follows a request the device ignored. "<no record>" without requests.
std::string CommandTrace(const nlohmann::json& device);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_DEVICE_RECORD_H_
