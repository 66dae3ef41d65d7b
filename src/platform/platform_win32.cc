// Windows implementation of the platform seam. Wide text conversion is in
// wide_text_win32.cc, the USB port lookup in usb_port_walk_win32.cc.

// windows.h comes first: the other Windows headers build on its types.
// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <shellapi.h>
// clang-format on

#include "platform/platform_win32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/local_time.h"
#include "platform/platform.h"
#include "platform/station_console.h"
#include "platform/usb_port_walk.h"
#include "platform/wide_text_win32.h"

namespace {

int64_t PerformanceFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

int64_t PerformanceCount() {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return count.QuadPart;
}

// Taken during static initialisation, which is as close to process start as
// portable code gets. The performance counter is monotonic and, unlike
// GetTickCount, not stepped in 10 to 16 ms.
const int64_t kProcessStartCount = PerformanceCount();

int32_t WinNowMs() {
  // Fixed at boot; asked for here so that a caller from another file's
  // static initialisation never divides by zero.
  static const int64_t frequency = PerformanceFrequency();
  const int64_t elapsed = PerformanceCount() - kProcessStartCount;
  // Whole seconds and the rest apart, so that the product cannot overflow.
  const int64_t seconds = elapsed / frequency;
  const int64_t rest = elapsed % frequency;
  return static_cast<int32_t>(seconds * 1000 + rest * 1000 / frequency);
}

void WinSleepMs(int32_t ms) {
  if (ms > 0)
    Sleep(static_cast<DWORD>(ms));
}

void WinSpinUntilMs(int32_t deadline) {
  while (WinNowMs() < deadline) {
  }
}

bool WinLocaleLanguage(std::string* language) {
  // The size the Windows tool has always used; ISO 639 names are 2 or 3
  // letters.
  char name[20] = {};
  if (GetLocaleInfoA(GetUserDefaultLCID(), LOCALE_SISO639LANGNAME, name, sizeof(name)) <= 0)
    return false;
  language->clear();
  for (const char* c = name; *c != '\0'; ++c)
    language->push_back((*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : *c);
  return true;
}

ConsoleEncoding WinConsoleEncoding() {
  return ConsoleEncodingForCodePage(OutputCodePage());
}

// A named mutex, owned from creation: a second process that creates the same
// name learns that it already exists. The system deletes the mutex when its
// last handle closes, which includes the holder's exit or crash.
DeviceLockResult WinAcquireDeviceLock(const std::string& name, intptr_t* handle) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
  const DWORD error = GetLastError();
  if (mutex == nullptr) {
    // A mutex of that name created by another user, under a security
    // descriptor that does not let us open it, is held all the same.
    return error == ERROR_ACCESS_DENIED ? DeviceLockResult::kHeldElsewhere
                                        : DeviceLockResult::kFailed;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return DeviceLockResult::kHeldElsewhere;
  }
  *handle = reinterpret_cast<intptr_t>(mutex);
  return DeviceLockResult::kTaken;
}

void WinReleaseDeviceLock(intptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}

// The C runtime's text mode turns "\n" into "\r\n", as Windows consoles and
// editors expect.
void WinWriteOut(const char* data, size_t size) {
  fwrite(data, 1, size, stdout);
}

void WinFlushOut() {
  fflush(stdout);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A console delivers UTF-16 whatever its code page, so nothing typed is lost
// in a narrow code page.
bool ReadConsoleLine(HANDLE input, std::string* line) {
  std::wstring wide;
  bool any = false;
  wchar_t c;
  DWORD read = 0;
  while (ReadConsoleW(input, &c, 1, &read, nullptr) && read == 1) {
    any = true;
    if (c == L'\n')
      break;
    wide.push_back(c);
  }
  if (!wide.empty() && wide.back() == L'\r')
    wide.pop_back();
  *line = WideToUtf8(wide);
  return any;
}

// Redirected input is bytes: UTF-8 when it reads as UTF-8, else text in the
// ANSI code page, which is what Windows programs write by default.
bool ReadStreamLine(std::string* line) {
  std::string bytes;
  int c;
  bool any = false;
  while ((c = getchar()) != EOF) {
    any = true;
    if (c == '\n')
      break;
    bytes.push_back(static_cast<char>(c));
  }
  if (!bytes.empty() && bytes.back() == '\r')
    bytes.pop_back();
  *line = InputBytesToUtf8(bytes, GetACP());
  return any;
}

bool WinReadLine(std::string* line) {
  line->clear();
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  return IsConsole(input) ? ReadConsoleLine(input, line) : ReadStreamLine(line);
}

// Results are ignored: without the re-scan the settle sleep still lets an
// attaching device finish, as on systems that have no such request.
void WinRescanDevices() {
  DEVINST root = 0;
  if (CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS)
    CM_Reenumerate_DevNode(root, CM_REENUMERATE_ASYNCHRONOUS);
}

// Opened through the wide API so that any file name arrives intact; the
// opened handle itself is judged, so a path swapped after an earlier check
// cannot slip through. Directories open only with backup semantics, which
// lets them be told apart from missing files.
FileReadResult JudgeOpenedFile(HANDLE file, int64_t maxSize, std::vector<uint8_t>* bytes) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info))
    return GetFileType(file) == FILE_TYPE_DISK ? FileReadResult::kReadError
                                               : FileReadResult::kNotRegular;
  if (GetFileType(file) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return FileReadResult::kNotRegular;
  const int64_t size = (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (bytes == nullptr)
    return FileReadResult::kOk;
  if (size > maxSize)
    return FileReadResult::kTooLarge;
  try {
    bytes->resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return FileReadResult::kReadError;
  }
  size_t done = 0;
  while (done < bytes->size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file, bytes->data() + done, chunk, &got, nullptr) || got == 0)
      return FileReadResult::kReadError;  // an error, or the file shrank
    done += got;
  }
  return FileReadResult::kOk;
}

// The file at path opened for reading, shared with writers as a POSIX open
// would be; directories open too, so that they can be told apart.
HANDLE OpenForReading(const std::string& path) {
  return CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

FileReadResult WinReadRegularFile(const std::string& path, int64_t maxSize,
                                  std::vector<uint8_t>* bytes) {
  if (bytes != nullptr)
    bytes->clear();
  if (path.empty())
    return FileReadResult::kNotFound;
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE)
    return FileReadResult::kNotFound;
  FileReadResult result = JudgeOpenedFile(file, maxSize, bytes);
  CloseHandle(file);
  if (result != FileReadResult::kOk && bytes != nullptr)
    bytes->clear();
  return result;
}

FileReadResult WinOpenRegularFile(const std::string& path, intptr_t* handle, int64_t* size) {
  if (path.empty())
    return FileReadResult::kNotFound;
  HANDLE file = OpenForReading(path);
  if (file == INVALID_HANDLE_VALUE)
    return FileReadResult::kNotFound;
  // Judged as for a whole read, without reading anything.
  FileReadResult result = JudgeOpenedFile(file, 0, nullptr);
  LARGE_INTEGER fileSize;
  if (result == FileReadResult::kOk && !GetFileSizeEx(file, &fileSize))
    result = FileReadResult::kReadError;
  if (result != FileReadResult::kOk) {
    CloseHandle(file);
    return result;
  }
  *handle = reinterpret_cast<intptr_t>(file);
  *size = static_cast<int64_t>(fileSize.QuadPart);
  return FileReadResult::kOk;
}

bool WinReadFileAt(intptr_t handle, int64_t offset, size_t length, uint8_t* bytes) {
  size_t done = 0;
  while (done < length) {
    const int64_t at = offset + static_cast<int64_t>(done);
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(at & 0xFFFFFFFF);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), bytes + done, chunk, &got, &position) ||
        got == 0)
      return false;  // an error, or the file ends first
    done += got;
  }
  return true;
}

void WinCloseFile(intptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}

// WriteFile rather than stdio: this is also called from the console control
// thread while the main thread may be inside a stdio call.
void WinWriteErr(const char* data, size_t size) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(error, data, static_cast<DWORD>(size), &written, nullptr) || written == 0)
      return;
    data += written;
    size -= written;
  }
}

// The Windows console edits lines and keeps their history itself (arrow
// keys, F7) for ReadConsoleW, so the program never needs its own editor.
bool WinInputIsTerminal() {
  return false;
}

bool WinReadEditedLine(const char* prompt, std::string* line) {
  WinWriteOut(prompt, strlen(prompt));
  WinFlushOut();
  return WinReadLine(line);
}

void (*g_onInterrupt)(int signal) = nullptr;

void WinSetUpProcess(void (*onInterrupt)(int signal)) {
  g_onInterrupt = onInterrupt;
  InstallInterruptHandler();
}

// ExitProcess skips the C runtime's exit handlers but still detaches the
// DLLs, so the system closes the device and the named mutex with it.
void WinExitNow(int status) {
  ExitProcess(static_cast<UINT>(status));
}

void WinExitProcess(int status) {
  exit(status);
}

// Windows names each top-level collection in its device path (&colNN) and
// hidapi there sends the report ID byte as given, so the path alone decides
// the framing; no descriptor is consulted.
bool WinReportDescriptor(const std::string&, std::vector<uint8_t>*) {
  return false;
}

}  // namespace

unsigned OutputCodePage() {
  return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)) ? GetConsoleOutputCP() : GetACP();
}

ConsoleEncoding ConsoleEncodingForCodePage(unsigned codePage) {
  return codePage == kGbkCodePage ? ConsoleEncoding::kGbk : ConsoleEncoding::kUtf8;
}

std::vector<std::string> SplitWideCommandLine(const wchar_t* commandLine) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(commandLine, &count);
  if (wide == nullptr)
    return arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(WideToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::vector<std::string> ProgramArguments(int, char**) {
  // The narrow argv holds the arguments in the ANSI code page, where a file
  // name in another script has already turned into "?".
  return SplitWideCommandLine(GetCommandLineW());
}

std::filesystem::path NativeFilePath(const std::string& path) {
  // Opened through the UTF-16 path: _wfopen and CreateFileW.
  return std::filesystem::path(Utf8ToWide(path));
}

namespace {

// The signal that an event stands for: closing the console is the hang-up
// of a terminal, logging off and shutting down the system's stop request.
int SignalOfEvent(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return kSignalInterrupt;
    case CTRL_CLOSE_EVENT:
      return kSignalHangUp;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      return kSignalTerminate;
    default:
      return 0;
  }
}

}  // namespace

BOOL WINAPI HandleConsoleControl(unsigned long event) {
  const int signal = SignalOfEvent(event);
  if (signal == 0)
    return FALSE;
  if (g_onInterrupt == nullptr) {
    // Before the program is set up: logging off and shutting down take the
    // system's own course; the others end the process as SIGINT does.
    if (signal == kSignalTerminate)
      return FALSE;
    ExitProcess(kInterruptedExitStatus);
  }
  // With the program's own handler installed, the event is decided there:
  // a first one during an update only warns, as the signals do on Linux.
  g_onInterrupt(signal);
  if (signal == kSignalInterrupt)
    return TRUE;
  // The system ends the process as soon as this handler returns from a
  // close, logoff or shutdown event (and at the latest when the event's time
  // runs out): the handler waits here while the program finishes the step
  // at stake or stops, and the program's own end ends the process.
  Sleep(INFINITE);
  return TRUE;
}

void InstallInterruptHandler() {
  SetConsoleCtrlHandler(HandleConsoleControl, TRUE);
}

namespace {

// The zone's biases count the other way: UTC = local time + bias, so
// Central European Time has a bias of -60 and an offset of +01:00.
int UtcOffsetMinutes() {
  DYNAMIC_TIME_ZONE_INFORMATION zone{};
  const DWORD id = GetDynamicTimeZoneInformation(&zone);
  LONG bias = zone.Bias;
  if (id == TIME_ZONE_ID_DAYLIGHT)
    bias += zone.DaylightBias;
  else if (id == TIME_ZONE_ID_STANDARD)
    bias += zone.StandardBias;
  return static_cast<int>(-bias);
}

std::string WinLocalTimeIso8601() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  LocalTimeReading reading;
  reading.year = local.wYear;
  reading.month = local.wMonth;
  reading.day = local.wDay;
  reading.hour = local.wHour;
  reading.minute = local.wMinute;
  reading.second = local.wSecond;
  reading.millisecond = local.wMilliseconds;
  reading.utcOffsetMinutes = UtcOffsetMinutes();
  return FormatLocalTime(reading);
}

}  // namespace

Platform NativePlatform() {
  Platform p;
  p.nowMs = WinNowMs;
  p.sleepMs = WinSleepMs;
  p.spinUntilMs = WinSpinUntilMs;
  p.localeLanguage = WinLocaleLanguage;
  p.consoleEncoding = WinConsoleEncoding;
  p.acquireDeviceLock = WinAcquireDeviceLock;
  p.releaseDeviceLock = WinReleaseDeviceLock;
  p.writeOut = WinWriteOut;
  p.flushOut = WinFlushOut;
  p.readLine = WinReadLine;
  p.rescanDevices = WinRescanDevices;
  p.reportDescriptor = WinReportDescriptor;
  p.readRegularFile = WinReadRegularFile;
  p.openRegularFile = WinOpenRegularFile;
  p.readFileAt = WinReadFileAt;
  p.closeFile = WinCloseFile;
  p.writeErr = WinWriteErr;
  p.usbPort = WinUsbPort;
  // The prompt lowercases the whole line there (file names ignore case).
  p.inputIsTerminal = WinInputIsTerminal;
  p.readEditedLine = WinReadEditedLine;
  p.setUpProcess = WinSetUpProcess;
  p.exitNow = WinExitNow;
  p.exitProcess = WinExitProcess;
  p.localTimeIso8601 = WinLocalTimeIso8601;
  return p;
}

bool PrepareTerminalView() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (err == INVALID_HANDLE_VALUE || err == nullptr || !GetConsoleMode(err, &mode))
    return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

// Wine's ntdll exports wine_get_version; Windows' does not. Wine gives HID
// interfaces no location path, so no port can be told there.
bool PortsAreKnown() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}
