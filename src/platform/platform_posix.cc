// POSIX implementation of the platform seam (Linux; macOS later).
#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/locale_names.h"
#include "platform/platform.h"
#include "platform/usb_port.h"

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
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
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

void PosixWriteErr(const char* data, size_t size) {
  fwrite(data, 1, size, stderr);
  fflush(stderr);
}

// hidraw's path is the node; sysfs links the node to its place in the
// device tree, which runs through every USB hub on the way to the device.
std::string PosixUsbPort(const std::string& path) {
  std::string node = HidrawNodeOfPath(path);
  if (node.empty())
    return "";
  char* resolved = realpath(("/sys/class/hidraw/" + node).c_str(), nullptr);
  if (resolved == nullptr)
    return "";
  std::string port = PortFromSysfsPath(resolved);
  free(resolved);
  return port;
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

}  // namespace

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
  p.writeErr = PosixWriteErr;
  p.usbPort = PosixUsbPort;
  p.promptLowercasesAll = false;
  p.readLine = PosixReadLine;
  return p;
}

Platform g_platform = NativePlatform();
