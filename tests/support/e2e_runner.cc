#include "support/e2e_runner.h"

#include <fcntl.h>
#include <iconv.h>
#include <openssl/evp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

extern char** environ;

namespace e2e {
namespace {

std::atomic<unsigned> g_counter{0};

std::string HexNumber(unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%lx", value);
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

// The caller's environment without locale settings and without anything
// that would steer the emulator elsewhere.
std::vector<std::string> ChildEnvironment(const std::string& lang) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (name.rfind("LC_", 0) == 0 || name == "LANG" || name == "LANGUAGE" ||
        name.rfind("QUORVEL_", 0) == 0 || name == "LD_PRELOAD") {
      continue;
    }
    env.push_back(entry);
  }
  env.push_back("LANG=" + lang);
  env.push_back("QUORVEL_EMULATOR_LIB=" QUORVEL_BINARY_DIR "/libquorvel_emulator_preload.so");
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

struct Launch {
  std::string dir;
  pid_t pid = -1;
};

Launch Start(const Workspace& workspace, const RunOptions& options) {
  Launch launch;
  launch.dir = workspace.Path("run-" + HexNumber(g_counter++));
  if (mkdir(launch.dir.c_str(), 0700) != 0)
    return launch;
  std::string scenario = launch.dir + "/scenario.json";
  std::string input = "/dev/null";
  if (options.input) {
    input = launch.dir + "/stdin";
    if (!WriteText(input, *options.input))
      return launch;
  }
  if (!WriteText(scenario, options.scenario.dump(2)))
    return launch;
  std::vector<std::string> argv = {"/usr/bin/timeout", "-k", "5",
                                   std::to_string(options.timeLimitSeconds),
                                   QUORVEL_SOURCE_DIR "/tools/emulate"};
  if (!options.bus.empty()) {
    argv.insert(argv.end(), {"--bus", options.bus});
  } else {
    argv.insert(argv.end(), {"--record", launch.dir + "/record.json"});
    if (!options.stateFile.empty()) {
      argv.push_back("--state");
      argv.push_back(options.stateFile);
    }
    argv.push_back(scenario);
  }
  argv.insert(argv.end(), {"--", QUORVEL_BINARY_DIR "/quorvel-dfu"});
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  std::vector<std::string> env = ChildEnvironment(options.lang);
  std::string out = launch.dir + "/stdout";
  std::string err = launch.dir + "/stderr";

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  int pipeEnds[2] = {-1, -1};
  if (options.closedStdout && pipe2(pipeEnds, O_CLOEXEC) == 0) {
    close(pipeEnds[0]);  // the reader is gone before the program starts
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> envp = Pointers(env);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0) {
    launch.pid = pid;
  }
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[1] >= 0)
    close(pipeEnds[1]);
  return launch;
}

// The program: the child of timeout(1), which tools/emulate became by exec.
pid_t ProgramPid(pid_t wrapper) {
  std::string children = ReadFile("/proc/" + std::to_string(wrapper) + "/task/" +
                                  std::to_string(wrapper) + "/children");
  std::istringstream in(children);
  long pid = -1;
  in >> pid;
  return static_cast<pid_t>(pid);
}

RunResult Finish(const Launch& launch) {
  RunResult result;
  if (launch.pid < 0)
    return result;
  result.started = true;
  int status = 0;
  while (waitpid(launch.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
    // timeout(1) exits with 124 after its TERM, 137 after its KILL.
    result.timedOut = result.exitStatus == 124 || result.exitStatus == 137;
  }
  result.out = ReadFile(launch.dir + "/stdout");
  result.err = ReadFile(launch.dir + "/stderr");
  std::string record = ReadFile(launch.dir + "/record.json");
  result.record = nlohmann::json::parse(record, nullptr, false);
  result.hasRecord = !record.empty() && !result.record.is_discarded();
  if (!result.hasRecord)
    result.record = nlohmann::json::object();
  return result;
}

}  // namespace

Workspace::Workspace() {
  // Lower case only: paths typed at the prompt may be lowercased.
  std::random_device random;
  for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
    std::string path = (std::filesystem::temp_directory_path() / "quorvel-e2e-").string() +
                       HexNumber(static_cast<unsigned long>(getpid())) + "-" + HexNumber(random());
    if (mkdir(path.c_str(), 0700) == 0)
      dir = path;
  }
}

Workspace::~Workspace() {
  std::error_code ignored;
  if (!dir.empty())
    std::filesystem::remove_all(dir, ignored);
}

std::string Workspace::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::string path = Path(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out ? path : std::string();
}

std::string RunResult::Describe() const {
  std::ostringstream text;
  text << "started: " << started << ", exit status: " << exitStatus << ", timed out: " << timedOut
       << ", record: " << hasRecord;
  text << "\nstderr:\n" << (err.size() > 3000 ? err.substr(err.size() - 3000) : err);
  text << "\nstdout:\n" << (out.size() > 3000 ? out.substr(out.size() - 3000) : out);
  return text.str();
}

const nlohmann::json& RunResult::Device(const std::string& name) const {
  static const nlohmann::json none = nlohmann::json::object();
  if (!record.contains("devices") || !record["devices"].contains(name))
    return none;
  return record["devices"][name];
}

std::vector<RunResult> RunAll(const Workspace& workspace, const std::vector<RunOptions>& runs) {
  std::vector<Launch> launches;
  for (const RunOptions& options : runs)
    launches.push_back(Start(workspace, options));
  std::vector<RunResult> results;
  for (const Launch& launch : launches)
    results.push_back(Finish(launch));
  return results;
}

RunResult Run(const Workspace& workspace, const RunOptions& options) {
  return RunAll(workspace, {options}).front();
}

LiveRun::LiveRun(const Workspace& workspace, const RunOptions& options) {
  Launch launch = Start(workspace, options);
  dir_ = launch.dir;
  pid_ = launch.pid;
}

LiveRun::~LiveRun() {
  if (!finished_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    Finish();
  }
}

bool LiveRun::WaitFor(const std::string& text, bool onStderr, int seconds) {
  const std::string path = dir_ + (onStderr ? "/stderr" : "/stdout");
  for (int i = 0; i < seconds * 100; ++i) {
    if (ReadFile(path).find(text) != std::string::npos)
      return true;
    // Ended already? Looked at without reaping, so Finish still can.
    siginfo_t info{};
    if (pid_ <= 0 ||
        (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid_)) {
      return ReadFile(path).find(text) != std::string::npos;
    }
    usleep(10000);
  }
  return false;
}

bool LiveRun::Signal(int signo) {
  pid_t program = pid_ > 0 ? ProgramPid(pid_) : -1;
  return program > 0 && kill(program, signo) == 0;
}

RunResult LiveRun::Finish() {
  finished_ = true;
  Launch launch;
  launch.dir = dir_;
  launch.pid = pid_;
  return e2e::Finish(launch);
}

SharedBus::SharedBus(const Workspace& workspace, const nlohmann::json& scenario) {
  std::string dir = workspace.Path("bus-" + HexNumber(g_counter++));
  socket_ = dir + "/bus.sock";
  record_ = dir + "/record.json";
  std::string scenarioFile = dir + "/scenario.json";
  if (mkdir(dir.c_str(), 0700) != 0 || !WriteText(scenarioFile, scenario.dump(2)))
    return;
  std::vector<std::string> argv = {QUORVEL_BINARY_DIR "/quorvel-emulator-bus",
                                   "--socket",
                                   socket_,
                                   "--record",
                                   record_,
                                   scenarioFile};
  std::vector<std::string> env = ChildEnvironment("C");
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> envp = Pointers(env);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), envp.data()) != 0)
    return;
  pid_ = pid;
  // The socket appears once the bus listens (it is renamed into place).
  for (int i = 0; i < 1000 && !started_; ++i) {
    struct stat info {};
    started_ = stat(socket_.c_str(), &info) == 0;
    if (!started_ && waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    if (!started_)
      usleep(10000);
  }
}

SharedBus::~SharedBus() {
  Stop();
}

nlohmann::json SharedBus::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  nlohmann::json record = nlohmann::json::parse(ReadFile(record_), nullptr, false);
  return record.is_discarded() ? nlohmann::json::object() : record;
}

std::string UniqueHidrawPath(int n) {
  // Another test process may run at the same time: its numbers differ.
  return "/dev/hidraw" + std::to_string((static_cast<unsigned long>(getpid()) % 1000000) * 100 +
                                        static_cast<unsigned long>(n));
}

std::string UniqueDevicePath() {
  return "/dev/hidraw-e2e-" + HexNumber(static_cast<unsigned long>(getpid())) + "-" +
         HexNumber(g_counter++);
}

const char kDongleName[] = "Quorvel Receiver(HID\\VID_248A&PID_8266&REV_0120)";

nlohmann::json Dongle(const nlohmann::json& overrides) {
  nlohmann::json device = {{"name", "dongle"},
                           {"path", UniqueDevicePath()},
                           {"vendorId", "0x248A"},
                           {"productId", "0x8266"},
                           {"release", "0x0120"},
                           {"interface", 1},
                           {"manufacturer", "Quorvel"},
                           {"product", "Receiver"},
                           {"typeCode", "0x10"},
                           {"controllerVersion", "01-00-0000-00000001"},
                           {"appVersion", "01-00-0000-00000001"},
                           {"forcedState", 0},
                           {"blockSize", 256},
                           {"timing",
                            {{"replyMs", 1},
                             {"eraseMs", 10},
                             {"blockWriteMs", 0.2},
                             {"verifyMs", 5},
                             {"usbFrameUs", 0}}},
                           // Back 420 ms after its restart reply: before the
                           // earliest scan that looks for it (600 ms).
                           {"reboot", {{"leaveMs", 20}, {"awayMs", 400}}}};
  for (auto it = overrides.begin(); it != overrides.end(); ++it)
    device[it.key()] = it.value();
  return device;
}

nlohmann::json OtherKeyboard() {
  return {{"name", "keyboard"},    {"path", UniqueDevicePath()},
          {"vendorId", "0x046D"},  {"productId", "0xC31C"},
          {"interface", 0},        {"manufacturer", "Other"},
          {"product", "Keyboard"}, {"protocol", false}};
}

nlohmann::json Scenario(const std::vector<nlohmann::json>& devices) {
  return {{"devices", devices}};
}

std::string CommandTrace(const nlohmann::json& device) {
  static const std::vector<std::pair<std::string, std::string>> kNames = {
      {"0A55", "H"},    {"0A56", "N"},   {"0A0000", "Q0"}, {"0A0001", "Q1"}, {"0A0600", "F+"},
      {"0A0601", "F-"}, {"0A2000", "E"}, {"0A01", "I"},    {"0A02", "S"},    {"0A10", "D"},
      {"0A03", "V"},    {"0A0400", "R"}, {"0A0402", "B"},  {"0A0700", "P+"}, {"0A0701", "P-"}};
  std::string trace;
  std::string last;
  if (!device.is_object() || !device.contains("requests"))
    return "<no record>";
  for (const nlohmann::json& request : device["requests"]) {
    std::string hex = request.value("hex", "");
    std::string name = "X";
    for (const auto& known : kNames) {
      if (hex.rfind(known.first, 0) == 0) {
        name = known.second;
        break;
      }
    }
    if (request.value("ignored", false))
      name += "?";
    if (name == "D" && last == "D")
      continue;
    trace += (trace.empty() ? "" : " ") + name;
    last = name;
  }
  return trace;
}

std::string MaskTimes(const std::string& text) {
  static const std::regex kBoth(R"(\(\d+\.\d{3}s, \d+\.\d{3}s\))");
  static const std::regex kOne(R"(\(\d+\.\d{3}s\))");
  return std::regex_replace(std::regex_replace(text, kBoth, "(T, T)"), kOne, "(T)");
}

namespace {

// One redrawn line: "\r" + label + percentage right-aligned in 3 + "%", repeated.
std::string CollapseProgress(const std::string& line, bool monotonic) {
  std::vector<std::string> pieces;
  std::string piece;
  std::istringstream stream(line);
  while (std::getline(stream, piece, '\r'))
    pieces.push_back(piece);
  bool broken = pieces.size() < 2 || !pieces[0].empty();
  std::string label;
  int last = -1;
  for (size_t i = 1; i < pieces.size() && !broken; ++i) {
    const std::string& p = pieces[i];
    static const std::regex kProgress(R"(([^\r]*)([ \d]{2}\d)%)");
    std::smatch match;
    if (!std::regex_match(p, match, kProgress)) {
      broken = true;
      break;
    }
    int percent = std::stoi(match[2].str());
    if (i == 1)
      label = match[1].str();
    if (match[1].str() != label || percent > 100 || (monotonic && percent < last))
      broken = true;
    last = percent;
  }
  return (pieces.empty() ? std::string() : pieces.back()) + (broken ? " <progress broken>" : "");
}

}  // namespace

std::vector<std::string> ScreenLines(const std::string& out, bool monotonic) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    std::string line =
        out.substr(start, end == std::string::npos ? std::string::npos : end - start);
    lines.push_back(line.find('\r') == std::string::npos ? line
                                                         : CollapseProgress(line, monotonic));
    if (end == std::string::npos)
      break;
    start = end + 1;
  }
  return lines;
}

std::string AfterHelp(const std::string& out) {
  const std::string rule = std::string(112, '=') + "\n";
  size_t at = out.rfind(rule);
  return at == std::string::npos ? out : out.substr(at + rule.size());
}

std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string Crc32Hex(const std::vector<uint8_t>& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(crc));
  return text;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t begin, size_t length) {
  if (begin > bytes.size())
    return {};
  length = std::min(length, bytes.size() - begin);
  return std::vector<uint8_t>(bytes.begin() + static_cast<long>(begin),
                              bytes.begin() + static_cast<long>(begin + length));
}

std::string ToGbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1))
    return "<no GBK converter>";
  std::string in = utf8;
  std::string out(in.size() * 2 + 8, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1))
    return "<not convertible to GBK>";
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace e2e
