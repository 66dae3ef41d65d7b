// POSIX implementation of the platform seam (Linux; macOS later). The USB
// port lookup is in usb_port_walk_posix.cc.
#include <editline/readline.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>

#include "platform/local_time.h"
#include "platform/locale_names.h"
#include "platform/platform.h"
#include "platform/station_console.h"
#include "platform/usb_port_walk.h"

namespace {

int64_t MonotonicMicros() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Taken during static initialisation, which is as close to process start as
// portable code gets.
const int64_t kProcessStartMicros = MonotonicMicros();

int32_t PosixNowMs() {
  return static_cast<int32_t>((MonotonicMicros() - kProcessStartMicros) / 1000);
}

void PosixSleepMs(int32_t ms) {
  if (ms <= 0)
    return;
  timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  // An interrupt that stops the command ends the sleep early.
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR && !StopRequest.pending.load()) {
  }
}

void PosixSpinUntilMs(int32_t deadline) {
  while (PosixNowMs() < deadline) {
  }
}

const char* FirstNonEmptyEnv(const char* const* names, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const char* value = getenv(names[i]);
    if (value != nullptr && value[0] != '\0')
      return value;
  }
  return nullptr;
}

bool PosixLocaleLanguage(std::string* language) {
  static const char* const kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  const char* name = FirstNonEmptyEnv(kNames, 3);
  *language = LocaleLanguagePart(name == nullptr ? "C" : name);
  return true;
}

ConsoleEncoding PosixConsoleEncoding() {
  static const char* const kNames[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  const char* name = FirstNonEmptyEnv(kNames, 3);
  return LocaleEncoding(name == nullptr ? "" : name);
}

#ifdef __linux__
// An abstract-namespace Unix socket: the name is system-wide, no file is
// created that another user could plant or replace, and the kernel frees the
// name when the socket is closed or its process dies, even after a crash.
DeviceLockResult PosixAcquireDeviceLock(const std::string& name, intptr_t* handle) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return DeviceLockResult::kFailed;
  sockaddr_un addr;
  memset(&addr, 0, sizeof(addr));
  addr.sun_family = AF_UNIX;
  std::string abstractName = "quorvel-dfu/" + name;
  size_t length = std::min(abstractName.size(), sizeof(addr.sun_path) - 1);
  memcpy(addr.sun_path + 1, abstractName.data(), length);
  socklen_t addrLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), addrLength) != 0) {
    int error = errno;
    close(fd);
    return error == EADDRINUSE ? DeviceLockResult::kHeldElsewhere : DeviceLockResult::kFailed;
  }
  *handle = fd;
  return DeviceLockResult::kTaken;
}
#else
#error "a named device lock is needed for this platform"
#endif

void PosixReleaseDeviceLock(intptr_t handle) {
  close(static_cast<int>(handle));
}

void PosixWriteOut(const char* data, size_t size) {
  fwrite(data, 1, size, stdout);
}

void PosixFlushOut() {
  fflush(stdout);
}

bool PosixReadLine(std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = getchar()) != EOF) {
    any = true;
    if (c == '\n')
      return true;
    line->push_back(static_cast<char>(c));
  }
  return any;
}

// The kernel keeps each hidraw node's report descriptor in sysfs, where any
// user may read it, also when the node itself is closed to that user.
bool PosixReportDescriptor(const std::string& path, std::vector<uint8_t>* descriptor) {
  const std::string prefix = "/dev/";
  if (path.compare(0, prefix.size(), prefix) != 0)
    return false;
  std::string node = path.substr(prefix.size());
  if (node.empty() || node.find('/') != std::string::npos)
    return false;
  std::ifstream in("/sys/class/hidraw/" + node + "/device/report_descriptor", std::ios::binary);
  if (!in)
    return false;
  descriptor->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !descriptor->empty();
}

// hidraw learns of attached and re-attached interfaces from the kernel by
// itself; there is no device-tree re-scan to request, only the settle pause
// that the caller sleeps.
void PosixRescanDevices() {}

// Reads size bytes of the opened file into the empty bytes.
FileReadResult ReadOpenedFile(int fd, size_t size, std::vector<uint8_t>* bytes) {
  try {
    bytes->resize(size);
  } catch (const std::bad_alloc&) {
    return FileReadResult::kReadError;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, bytes->data() + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return FileReadResult::kReadError;  // an error, or the file shrank
    done += static_cast<size_t>(n);
  }
  return FileReadResult::kOk;
}

// The opened descriptor itself is judged, so a path swapped after an earlier
// check cannot slip through.
FileReadResult StatRegularFile(int fd, int64_t* size) {
  struct stat info;
  if (fstat(fd, &info) != 0)
    return FileReadResult::kReadError;
  if (!S_ISREG(info.st_mode))
    return FileReadResult::kNotRegular;
  *size = static_cast<int64_t>(info.st_size);
  return FileReadResult::kOk;
}

FileReadResult JudgeOpenedFile(int fd, int64_t maxSize, std::vector<uint8_t>* bytes) {
  int64_t size = 0;
  const FileReadResult judged = StatRegularFile(fd, &size);
  if (judged != FileReadResult::kOk || bytes == nullptr)
    return judged;
  if (size > maxSize)
    return FileReadResult::kTooLarge;
  return ReadOpenedFile(fd, static_cast<size_t>(size), bytes);
}

// Opened without blocking: a FIFO opens at once even with no writer, and is
// then refused as not regular.
int OpenForReading(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

FileReadResult PosixReadRegularFile(const std::string& path, int64_t maxSize,
                                    std::vector<uint8_t>* bytes) {
  if (bytes != nullptr)
    bytes->clear();
  if (path.empty())
    return FileReadResult::kNotFound;
  int fd = OpenForReading(path);
  if (fd < 0)
    return FileReadResult::kNotFound;
  FileReadResult result = JudgeOpenedFile(fd, maxSize, bytes);
  close(fd);
  if (result != FileReadResult::kOk && bytes != nullptr)
    bytes->clear();
  return result;
}

FileReadResult PosixOpenRegularFile(const std::string& path, intptr_t* handle, int64_t* size) {
  if (path.empty())
    return FileReadResult::kNotFound;
  int fd = OpenForReading(path);
  if (fd < 0)
    return FileReadResult::kNotFound;
  const FileReadResult result = StatRegularFile(fd, size);
  if (result != FileReadResult::kOk) {
    close(fd);
    return result;
  }
  *handle = fd;
  return FileReadResult::kOk;
}

bool PosixReadFileAt(intptr_t handle, int64_t offset, size_t length, uint8_t* bytes) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = pread(static_cast<int>(handle), bytes + done, length - done,
                      static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;  // an error, or the file ends first
    done += static_cast<size_t>(n);
  }
  return true;
}

void PosixCloseFile(intptr_t handle) {
  close(static_cast<int>(handle));
}

void PosixWriteErr(const char* data, size_t size) {
  // write(2) rather than stdio: this is called from the interrupt handler.
  while (size > 0) {
    ssize_t n = write(STDERR_FILENO, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

// Line editing needs the terminal on both sides: with output redirected to
// a file, the prompt and the echo would land in that file.
bool PosixInputIsTerminal() {
  return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
}

bool PosixReadEditedLine(const char* prompt, std::string* line) {
  // libedit restores the terminal before a signal reaches our handler and
  // keeps the history of this session for the arrow keys.
  char* text = readline(prompt);
  if (text == nullptr)
    return false;
  *line = text;
  if (text[0] != '\0')
    add_history(text);
  free(text);
  return true;
}

void (*g_onInterrupt)(int signal) = nullptr;

int PortableSignal(int signo) {
  switch (signo) {
    case SIGHUP:
      return kSignalHangUp;
    case SIGTERM:
      return kSignalTerminate;
    default:
      return kSignalInterrupt;
  }
}

void OnSignal(int signo) {
  int saved = errno;
  if (g_onInterrupt != nullptr)
    g_onInterrupt(PortableSignal(signo));
  errno = saved;
}

void PosixSetUpProcess(void (*onInterrupt)(int signal)) {
  // Output piped into a reader that quits early (| head) must not end an
  // update half way: the write fails and only that output is lost.
  signal(SIGPIPE, SIG_IGN);
  g_onInterrupt = onInterrupt;
  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // One handler at a time: a second signal waits until the first has
  // counted itself.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGHUP);
  // Reads and writes of the device and the console go on after a first
  // interrupt that does not stop the command.
  action.sa_flags = SA_RESTART;
  // timeout and systemd stop a program with SIGTERM, a dropped ssh session
  // with SIGHUP: an update they meet must not end half way either.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

void PosixExitNow(int status) {
  _exit(status);
}

void PosixExitProcess(int status) {
  exit(status);
}

std::string PosixLocalTimeIso8601() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const time_t seconds = now.tv_sec;
  tzset();
  tm local{};
  localtime_r(&seconds, &local);
  LocalTimeReading reading;
  reading.year = local.tm_year + 1900;
  reading.month = local.tm_mon + 1;
  reading.day = local.tm_mday;
  reading.hour = local.tm_hour;
  reading.minute = local.tm_min;
  reading.second = local.tm_sec;
  reading.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  // Seconds east of UTC, daylight saving time included.
  reading.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
  return FormatLocalTime(reading);
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  if (argc <= 1 || argv == nullptr)
    return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::filesystem::path NativeFilePath(const std::string& path) {
  return std::filesystem::path(path);
}

// SIGINT's default action already ends the process at once, and the shell
// reports status 130; the kernel frees the device and the lock's socket.
void InstallInterruptHandler() {}

Platform NativePlatform() {
  Platform p;
  p.nowMs = PosixNowMs;
  p.sleepMs = PosixSleepMs;
  p.spinUntilMs = PosixSpinUntilMs;
  p.localeLanguage = PosixLocaleLanguage;
  p.consoleEncoding = PosixConsoleEncoding;
  p.acquireDeviceLock = PosixAcquireDeviceLock;
  p.releaseDeviceLock = PosixReleaseDeviceLock;
  p.writeOut = PosixWriteOut;
  p.flushOut = PosixFlushOut;
  p.usbPort = PosixUsbPort;
  p.readLine = PosixReadLine;
  p.reportDescriptor = PosixReportDescriptor;
  p.rescanDevices = PosixRescanDevices;
  p.readRegularFile = PosixReadRegularFile;
  p.openRegularFile = PosixOpenRegularFile;
  p.readFileAt = PosixReadFileAt;
  p.closeFile = PosixCloseFile;
  p.writeErr = PosixWriteErr;
  p.inputIsTerminal = PosixInputIsTerminal;
  p.readEditedLine = PosixReadEditedLine;
  p.setUpProcess = PosixSetUpProcess;
  p.exitNow = PosixExitNow;
  p.exitProcess = PosixExitProcess;
  p.localTimeIso8601 = PosixLocalTimeIso8601;
  return p;
}

bool PrepareTerminalView() {
  const char* term = getenv("TERM");
  return isatty(STDERR_FILENO) == 1 && (term == nullptr || strcmp(term, "dumb") != 0);
}

// sysfs names the port of every USB device.
bool PortsAreKnown() {
  return true;
}
