// The append-only log on Windows: FILE_APPEND_DATA alone puts every write at
// the end of the file, even when another process appends too, and
// FlushFileBuffers puts it on the disk.
// clang-format off
#include <windows.h>
// clang-format on

#include <string>

#include "platform/platform.h"
#include "platform/wide_text_win32.h"

namespace {

// The system's text for the error, in UTF-8, without its line end.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8 = length > 0 ? WideToUtf8(std::wstring(text, length)) : std::string();
  if (text != nullptr)
    LocalFree(text);
  while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' '))
    utf8.pop_back();
  return utf8.empty() ? "error " + std::to_string(error) : utf8;
}

}  // namespace

bool OpenLogForAppend(const std::string& path, intptr_t* handle, std::string* error) {
  // Readers may watch the log while it grows; OPEN_ALWAYS creates it and
  // never truncates it. A directory cannot be opened this way at all.
  HANDLE file =
      CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = ErrorText(GetLastError());
    return false;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    *error = "not a regular file";
    CloseHandle(file);
    return false;
  }
  *handle = reinterpret_cast<intptr_t>(file);
  return true;
}

bool AppendAndSync(intptr_t handle, const std::string& line, std::string* error) {
  HANDLE file = reinterpret_cast<HANDLE>(handle);
  DWORD written = 0;
  if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
    *error = ErrorText(GetLastError());
    return false;
  }
  if (written != line.size()) {
    *error = "only " + std::to_string(written) + " of " + std::to_string(line.size()) +
             " bytes written (disk full?)";
    return false;
  }
  if (!FlushFileBuffers(file)) {
    *error = "cannot flush to the disk: " + ErrorText(GetLastError());
    return false;
  }
  return true;
}

void CloseLog(intptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}
