// Child processes on Windows: CreateProcessW with a command line quoted as
// the C runtime splits it, anonymous pipes whose parent ends are not
// inherited, and a process group of its own (CREATE_NEW_PROCESS_GROUP), so
// that the console's Ctrl-C reaches only the parent. A new group ignores
// Ctrl-C; Ctrl-Break reaches it, and the program takes Ctrl-Break as Ctrl-C.
#include <windows.h>

#include "platform/child_process.h"
#include "platform/wide_text_win32.h"

namespace {

// One argument as the C runtime reads it back: quoted when it is empty or
// holds a blank, tab or quote; backslashes doubled only where a quote
// follows them.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    const size_t copies = c == L'"' ? backslashes * 2 + 1 : backslashes;
    quoted.append(copies, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (const std::string& argument : argv) {
    if (!line.empty())
      line.push_back(L' ');
    line += QuoteArgument(Utf8ToWide(argument));
  }
  return line;
}

std::string SystemReason(const char* what) {
  return std::string(what) + " (Windows error " + std::to_string(GetLastError()) + ")";
}

// A pipe whose write end the child inherits and whose read end it does not.
bool MakePipe(HANDLE* readEnd, HANDLE* writeEnd, std::string* error) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(readEnd, writeEnd, &inherit, 0)) {
    *error = SystemReason("cannot create a pipe");
    return false;
  }
  SetHandleInformation(*readEnd, HANDLE_FLAG_INHERIT, 0);
  return true;
}

HANDLE OpenNullInput() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     OPEN_EXISTING, 0, nullptr);
}

bool Create(const std::vector<std::string>& argv, HANDLE out, HANDLE err, PROCESS_INFORMATION* info,
            std::string* error) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = OpenNullInput();
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::wstring line = CommandLine(argv);
  const std::wstring application = Utf8ToWide(argv[0]);
  const BOOL created = CreateProcessW(application.c_str(), &line[0], nullptr, nullptr, TRUE,
                                      CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT,
                                      nullptr, nullptr, &startup, info);
  if (!created)
    *error = SystemReason(("cannot start " + argv[0]).c_str());
  if (startup.hStdInput != INVALID_HANDLE_VALUE)
    CloseHandle(startup.hStdInput);
  return created != FALSE;
}

}  // namespace

bool StartChildProcess(const std::vector<std::string>& argv, ChildProcess* child,
                       std::string* error) {
  if (argv.empty()) {
    *error = "no program to start";
    return false;
  }
  HANDLE outRead, outWrite, errRead, errWrite;
  if (!MakePipe(&outRead, &outWrite, error))
    return false;
  if (!MakePipe(&errRead, &errWrite, error)) {
    CloseHandle(outRead);
    CloseHandle(outWrite);
    return false;
  }
  PROCESS_INFORMATION info = {};
  const bool created = Create(argv, outWrite, errWrite, &info, error);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (!created) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    return false;
  }
  CloseHandle(info.hThread);
  child->process = reinterpret_cast<intptr_t>(info.hProcess);
  child->id = static_cast<int32_t>(info.dwProcessId);
  child->outPipe = reinterpret_cast<intptr_t>(outRead);
  child->errPipe = reinterpret_cast<intptr_t>(errRead);
  return true;
}

int64_t ReadChildPipe(intptr_t pipe, char* buffer, size_t size) {
  DWORD got = 0;
  const DWORD wanted = size > 65536 ? 65536 : static_cast<DWORD>(size);
  if (ReadFile(reinterpret_cast<HANDLE>(pipe), buffer, wanted, &got, nullptr))
    return got;
  // The child closed its end: the pipe's end, not an error.
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

int64_t ReadChildPipeNow(intptr_t pipe, char* buffer, size_t size) {
  DWORD waiting = 0;
  // An anonymous pipe tells what it holds; its end shows as a broken pipe.
  if (!PeekNamedPipe(reinterpret_cast<HANDLE>(pipe), nullptr, 0, nullptr, &waiting, nullptr))
    return -1;
  if (waiting == 0)
    return 0;
  const int64_t got = ReadChildPipe(pipe, buffer, waiting < size ? waiting : size);
  return got > 0 ? got : -1;
}

void CloseChildPipe(intptr_t pipe) {
  if (pipe != -1)
    CloseHandle(reinterpret_cast<HANDLE>(pipe));
}

bool InterruptChildProcess(const ChildProcess& child) {
  // The group's id is the id of the process that heads it.
  return child.id > 0 &&
         GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(child.id)) != FALSE;
}

int WaitForChildProcess(ChildProcess* child) {
  if (child->process == -1)
    return -1;
  HANDLE process = reinterpret_cast<HANDLE>(child->process);
  DWORD code = 0;
  const bool ended =
      WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
  CloseHandle(process);
  child->process = -1;
  return ended ? static_cast<int>(code) : -1;
}

std::string OwnExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0)
      return std::string();
    if (length < path.size()) {
      path.resize(length);
      return WideToUtf8(path);
    }
    path.resize(path.size() * 2);
  }
}
