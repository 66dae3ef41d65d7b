// The shared bus is POSIX-only: it is reached over a Unix socket, and a
// Windows hidapi.dll always holds its devices in the process itself. These
// calls are never reached, since Active() is false.
#include "bus_client.h"

namespace emu {
namespace client {

bool Active() {
  return false;
}
int Init() {
  return -1;
}
int Exit() {
  return -1;
}
hid_device_info* Enumerate(unsigned short, unsigned short) {
  return nullptr;
}
hid_device* OpenPath(const char*) {
  return nullptr;
}
hid_device* Open(unsigned short, unsigned short) {
  return nullptr;
}
int Write(hid_device*, const unsigned char*, size_t) {
  return -1;
}
int Read(hid_device*, unsigned char*, size_t, int) {
  return -1;
}
bool Nonblocking(hid_device*) {
  return false;
}
int SetNonblocking(hid_device*, int) {
  return -1;
}
void Close(hid_device*) {}
const wchar_t* Error(hid_device*) {
  return L"the shared emulated bus is POSIX-only";
}
bool Known(hid_device*) {
  return false;
}
int String(hid_device*, StringKind, wchar_t*, size_t) {
  return -1;
}
hid_device_info* DeviceInfo(hid_device*) {
  return nullptr;
}
std::string SysfsRoot() {
  return "";
}

}  // namespace client
}  // namespace emu
