#include "support/virtual_platform.h"

#include <map>

VirtualPlatformState g_virtual;

namespace {

std::map<intptr_t, std::string> g_lockNames;
intptr_t g_nextLockHandle = 1;

int32_t VirtualNowMs() {
  return g_virtual.now;
}

void VirtualSleepMs(int32_t ms) {
  g_virtual.sleeps.push_back(ms);
  if (ms > 0)
    g_virtual.now += ms;
}

void VirtualSpinUntilMs(int32_t deadline) {
  if (g_virtual.now < deadline)
    g_virtual.now = deadline;
}

bool VirtualLocaleLanguage(std::string* language) {
  *language = g_virtual.language;
  return g_virtual.localeOk;
}

ConsoleEncoding VirtualConsoleEncoding() {
  return g_virtual.encoding;
}

DeviceLockResult VirtualAcquireDeviceLock(const std::string& name, intptr_t* handle) {
  if (g_virtual.locksHeldElsewhere.count(name) || g_virtual.locksHeldHere.count(name)) {
    return DeviceLockResult::kHeldElsewhere;
  }
  g_virtual.locksHeldHere.insert(name);
  *handle = g_nextLockHandle++;
  g_lockNames[*handle] = name;
  return DeviceLockResult::kTaken;
}

void VirtualReleaseDeviceLock(intptr_t handle) {
  auto it = g_lockNames.find(handle);
  if (it == g_lockNames.end())
    return;
  g_virtual.locksHeldHere.erase(it->second);
  g_lockNames.erase(it);
}

void VirtualWriteOut(const char* data, size_t size) {
  g_virtual.out.append(data, size);
}

void VirtualFlushOut() {
  ++g_virtual.flushes;
}

std::string VirtualUsbPort(const std::string& path) {
  auto it = g_virtual.ports.find(path);
  return it == g_virtual.ports.end() ? std::string() : it->second;
}

bool VirtualReadLine(std::string* line) {
  if (g_virtual.input.empty())
    return false;
  *line = g_virtual.input.front();
  g_virtual.input.pop_front();
  return true;
}

bool VirtualReportDescriptor(const std::string& path, std::vector<uint8_t>* descriptor) {
  auto it = g_virtual.reportDescriptors.find(path);
  if (it == g_virtual.reportDescriptors.end())
    return false;
  *descriptor = it->second;
  return true;
}

void VirtualRescanDevices() {
  g_virtual.rescans.push_back(g_virtual.now);
}

void VirtualWriteErr(const char* data, size_t size) {
  g_virtual.err.append(data, size);
}

bool VirtualInputIsTerminal() {
  return g_virtual.terminal;
}

bool VirtualReadEditedLine(const char* prompt, std::string* line) {
  g_virtual.editedPrompts.push_back(prompt);
  return VirtualReadLine(line);
}

void VirtualSetUpProcess(void (*onInterrupt)(int signal)) {
  g_virtual.onInterrupt = onInterrupt;
}

std::string VirtualLocalTimeIso8601() {
  return g_virtual.localTime;
}

[[noreturn]] void VirtualExit(int status) {
  throw VirtualExitRequest{status};
}

}  // namespace

ScopedVirtualPlatform::ScopedVirtualPlatform() : saved_(g_platform) {
  g_virtual = VirtualPlatformState();
  g_lockNames.clear();
  g_platform.nowMs = VirtualNowMs;
  g_platform.sleepMs = VirtualSleepMs;
  g_platform.spinUntilMs = VirtualSpinUntilMs;
  g_platform.localeLanguage = VirtualLocaleLanguage;
  g_platform.consoleEncoding = VirtualConsoleEncoding;
  g_platform.acquireDeviceLock = VirtualAcquireDeviceLock;
  g_platform.releaseDeviceLock = VirtualReleaseDeviceLock;
  g_platform.writeOut = VirtualWriteOut;
  g_platform.flushOut = VirtualFlushOut;
  g_platform.readLine = VirtualReadLine;
  g_platform.reportDescriptor = VirtualReportDescriptor;
  g_platform.rescanDevices = VirtualRescanDevices;
  g_platform.writeErr = VirtualWriteErr;
  g_platform.inputIsTerminal = VirtualInputIsTerminal;
  g_platform.readEditedLine = VirtualReadEditedLine;
  g_platform.setUpProcess = VirtualSetUpProcess;
  g_platform.exitNow = VirtualExit;
  g_platform.exitProcess = VirtualExit;
  g_platform.usbPort = VirtualUsbPort;
  g_platform.localTimeIso8601 = VirtualLocalTimeIso8601;
}

ScopedVirtualPlatform::~ScopedVirtualPlatform() {
  g_platform = saved_;
}

std::string TakeOutput() {
  std::string out;
  out.swap(g_virtual.out);
  return out;
}

std::string TakeErrors() {
  std::string err;
  err.swap(g_virtual.err);
  return err;
}
