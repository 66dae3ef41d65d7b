#include "dfu/selection_lock.h"

#include "output/console_encoding.h"
#include "platform/ascii.h"
#include "platform/platform.h"

namespace {

// Longer values are hashed: an abstract socket name holds 107 bytes, and a
// cut-off name would let two long serial numbers share a lock.
constexpr size_t kMaxValueChars = 40;
// As long as a connection cycle: a waiting instance takes the device about
// as soon as it would notice a freed interface.
constexpr int32_t kRetryMs = 400;

// The locks this process holds, in the order taken.
std::vector<intptr_t> HeldSelectionLocks;

bool KeptAsIs(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

std::string HexDigits(uint64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    text[static_cast<size_t>(i)] = kHex[value & 0xF];
  return text;
}

uint64_t Fnv1a64(const std::string& bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

std::string NameSafe(const std::string& value) {
  std::string safe;
  for (unsigned char c : value)
    safe += KeptAsIs(c) ? std::string(1, static_cast<char>(c)) : "%" + HexDigits(c, 2);
  if (safe.size() > kMaxValueChars)
    return "#" + HexDigits(Fnv1a64(value), 16);
  return safe;
}

std::string HeldNote(uint16_t vendorId, uint16_t productId, const DeviceSelection& selection) {
  std::string named;
  if (!selection.serial.empty())
    named += " with serial number " + selection.serial;
  if (!selection.port.empty())
    named += " at USB port " + selection.port;
  return "quorvel-dfu: device " + HexDigits(vendorId, 4) + ":" + HexDigits(productId, 4) + named +
         " is held by another quorvel-dfu process; waiting until it lets go";
}

}  // namespace

std::vector<std::string> SelectionLockNames(uint16_t vendorId, uint16_t productId,
                                            const DeviceSelection& selection) {
  const std::string ids = "selection-" + HexDigits(vendorId, 4) + "-" + HexDigits(productId, 4);
  std::vector<std::string> names;
  if (!selection.port.empty())
    names.push_back(ids + "-port-" + NameSafe(selection.port));
  if (!selection.serial.empty())
    names.push_back(ids + "-serial-" + NameSafe(LowerAscii(selection.serial)));
  return names;
}

void HoldSelection(uint16_t vendorId, uint16_t productId, const DeviceSelection& selection) {
  bool told = false;
  for (const std::string& name : SelectionLockNames(vendorId, productId, selection)) {
    for (;;) {
      intptr_t handle = 0;
      DeviceLockResult result = g_platform.acquireDeviceLock(name, &handle);
      if (result == DeviceLockResult::kTaken)
        HeldSelectionLocks.push_back(handle);
      if (result != DeviceLockResult::kHeldElsewhere)
        break;
      if (!told) {
        told = true;
        WriteErrorLine(HeldNote(vendorId, productId, selection));
      }
      SleepMs(kRetryMs);
    }
  }
}

void ReleaseSelection() {
  for (intptr_t handle : HeldSelectionLocks)
    g_platform.releaseDeviceLock(handle);
  HeldSelectionLocks.clear();
}
