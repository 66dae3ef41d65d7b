// Runs the real quorvel-dfu binary in real time against emulated devices
// (tools/emulate with the preloaded emulator), with a scenario, arguments,
// standard input and a locale chosen by the test, and hands back the exit
// status, the bytes written to standard output and the emulator's record.
// Also the helpers the end-to-end tests share to read what the program
// printed and what the device received.
#ifndef QUORVEL_TESTS_SUPPORT_E2E_RUNNER_H_
#define QUORVEL_TESTS_SUPPORT_E2E_RUNNER_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// A scratch directory, removed with everything in it when the test ends.
struct Workspace {
  std::string dir;
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  // Writes the bytes and returns the file's path (empty when it failed).
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
};

struct RunOptions {
  nlohmann::json scenario;
  std::vector<std::string> args;     // the program's arguments
  std::optional<std::string> input;  // standard input; none: /dev/null
  std::string lang = "C";            // LANG; the LC_* variables are cleared
  std::string stateFile;             // --state FILE when not empty
  int timeLimitSeconds = 60;         // hang guard only
  // Standard output is a pipe whose reader has already gone (as behind
  // "| head" once head has quit); nothing printed there is kept.
  bool closedStdout = false;
  // The socket of a shared bus to join (SharedBus); the scenario, the
  // record and the state are then the bus's.
  std::string bus;
};

struct RunResult {
  bool started = false;
  bool timedOut = false;
  int exitStatus = -1;  // -1 when the process did not exit normally
  std::string out;      // standard output, byte for byte
  std::string err;
  bool hasRecord = false;
  nlohmann::json record;
  // Status, time-out and standard error, for failure messages.
  std::string Describe() const;
  // The record of one device (an empty object when absent).
  const nlohmann::json& Device(const std::string& name) const;
};

// A bus process holding the scenario's devices for several runs at once
// (tools/emulate --bus). Stop() ends it and returns its record.
class SharedBus {
 public:
  SharedBus(const Workspace& workspace, const nlohmann::json& scenario);
  ~SharedBus();
  SharedBus(const SharedBus&) = delete;
  SharedBus& operator=(const SharedBus&) = delete;
  bool started() const { return started_; }
  const std::string& socket() const { return socket_; }
  nlohmann::json Stop();

 private:
  std::string socket_;
  std::string record_;
  int pid_ = -1;
  bool started_ = false;
};

// Starts every run at once and waits for all of them: the program spends
// most of its time in its own sleeps and waits, so runs overlap well.
std::vector<RunResult> RunAll(const Workspace& workspace, const std::vector<RunOptions>& runs);
RunResult Run(const Workspace& workspace, const RunOptions& options);

// A run the test acts on while it runs: it waits for a text to appear and
// sends signals to the program, as a person at the terminal would press
// Ctrl-C once something is shown.
class LiveRun {
 public:
  LiveRun(const Workspace& workspace, const RunOptions& options);
  ~LiveRun();
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;
  // Waits until standard output (or error) holds the text; false when the
  // program ended first or the seconds ran out (a hang guard, not a timing).
  bool WaitFor(const std::string& text, bool onStderr, int seconds);
  // Sends the signal to the program itself (not to the time-limit wrapper).
  bool Signal(int signo);
  RunResult Finish();

 private:
  std::string dir_;
  int pid_ = -1;
  bool finished_ = false;
};

// A device path no other process uses at the same time: the program's
// device lock is named after the path and is system-wide.
std::string UniqueDevicePath();
// The same as a hidraw node ("/dev/hidrawN"), for devices whose USB port the
// program finds through sysfs; n numbers the devices of one test.
std::string UniqueHidrawPath(int n);
// A protocol device named "dongle" (vendor 248A, product 8266, release 0120,
// interface 1, "Quorvel" "Receiver") with fast timings and a short restart,
// with the given keys replaced.
nlohmann::json Dongle(const nlohmann::json& overrides = nlohmann::json::object());
// A HID keyboard of another vendor that does not speak the protocol.
nlohmann::json OtherKeyboard();
nlohmann::json Scenario(const std::vector<nlohmann::json>& devices);
extern const char kDongleName[];  // its display name

// The requests a device received, as a compact trace: H handshake, N name,
// Q0/Q1 version queries, F+/F- forced upgrade mode, E upgrade mode, I
// firmware information, S start, D a run of data frames, V verify, R/B
// restart to the application/bootloader, P+/P- passthrough, X anything else.
std::string CommandTrace(const nlohmann::json& device);

// Times shown as "(1.234s)" or "(0.532s, 12.047s)" become "(T)" and "(T, T)".
std::string MaskTimes(const std::string& text);
// Splits the output into lines as they stay on the screen: a line redrawn in
// place with carriage returns shows its last progress text. Each redrawn
// percentage must be a well-formed progress text with the same label; when
// monotonic is set it must also never go down. Otherwise the line is marked
// with " <progress broken>" so that comparisons fail visibly.
std::vector<std::string> ScreenLines(const std::string& out, bool monotonic = true);
// What a prompt session printed after the banner and the help text.
std::string AfterHelp(const std::string& out);

std::string Sha256Hex(const std::vector<uint8_t>& bytes);  // lower case
std::string Crc32Hex(const std::vector<uint8_t>& bytes);   // "0x" and 8 upper-case digits
std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t begin, size_t length);
// UTF-8 text in GBK (code page 936), converted with iconv.
std::string ToGbk(const std::string& utf8);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_E2E_RUNNER_H_
