// A process's connection to the shared bus (QUORVEL_EMU_BUS names its
// socket): each hidapi call is one request and one reply on a socket opened
// at the first call. The bus holds the devices and does the waiting of a
// read, so a read blocks here exactly as long as it would in-process.
#ifndef QUORVEL_EMULATOR_SHARED_BUS_CLIENT_CONNECTION_H_
#define QUORVEL_EMULATOR_SHARED_BUS_CLIENT_CONNECTION_H_

#include <hidapi/hidapi.h>

#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

// A handle of this process: the bus's handle number and the last error
// text, which must stay valid after hid_error returns.
struct hid_device_ {
  int busHandle = -1;
  bool nonblocking = false;
  std::wstring error;
  hid_device_info* info = nullptr;
};

namespace emu {
namespace client {

// Guards the connection, the handles and the error text; recursive, so that
// the calls below nest.
std::recursive_mutex& Mutex();
// One call; the bus's reply, or an empty object when the bus is unreachable
// or has gone (a message on standard error the first time).
nlohmann::json Call(const nlohmann::json& request);
// True for a handle this process holds.
bool Known(hid_device* dev);
// A new handle for an "open" reply; null, with the reply's error taken, when
// the bus refused.
hid_device* AdoptHandle(const nlohmann::json& reply);
// Forgets the handle and frees it.
void ForgetHandle(hid_device* dev);
// Takes errno and the error text of a failed reply, onto the handle or, for
// null, as the process's error.
void TakeError(const nlohmann::json& reply, hid_device* dev);
// The error of calls without a handle (hid_error(NULL)).
std::wstring& GlobalError();

}  // namespace client
}  // namespace emu

#endif  // QUORVEL_EMULATOR_SHARED_BUS_CLIENT_CONNECTION_H_
