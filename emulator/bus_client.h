// The shared bus's front end in a preloaded process: when QUORVEL_EMU_BUS
// names the bus's socket, every hidapi call goes to the bus process, which
// holds the one set of devices that all processes see. Active() is false in
// builds that are not preloaded (in-process tests, the bus itself).
#ifndef QUORVEL_EMULATOR_BUS_CLIENT_H_
#define QUORVEL_EMULATOR_BUS_CLIENT_H_

#include <hidapi/hidapi.h>

#include <cstddef>
#include <string>

namespace emu {
namespace client {

bool Active();
int Init();
int Exit();
hid_device_info* Enumerate(unsigned short vendorId, unsigned short productId);
hid_device* OpenPath(const char* path);
hid_device* Open(unsigned short vendorId, unsigned short productId);
int Write(hid_device* dev, const unsigned char* data, size_t length);
int Read(hid_device* dev, unsigned char* data, size_t length, int milliseconds);
bool Nonblocking(hid_device* dev);
int SetNonblocking(hid_device* dev, int nonblock);
void Close(hid_device* dev);
const wchar_t* Error(hid_device* dev);
bool Known(hid_device* dev);
enum class StringKind { kManufacturer, kProduct, kSerial };
int String(hid_device* dev, StringKind kind, wchar_t* out, size_t maxlen);
hid_device_info* DeviceInfo(hid_device* dev);
// The bus's sysfs tree ("" when it has none).
std::string SysfsRoot();

}  // namespace client
}  // namespace emu

#endif  // QUORVEL_EMULATOR_BUS_CLIENT_H_
