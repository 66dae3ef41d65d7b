// The lock a command with --port or --serial holds for as long as it runs,
// restart waits included: the device lock covers one open interface only,
// and while the selected device is off the bus between its restart and its
// return, a second instance with the same selection would otherwise take it
// as it comes back. The lock is the device lock's mechanism (a system-wide
// name that the system frees when its holder exits or crashes), under a
// name of its own per vendor ID, product ID and port or serial number.
#ifndef QUORVEL_DFU_SELECTION_LOCK_H_
#define QUORVEL_DFU_SELECTION_LOCK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "transport/device_selection.h"

// The lock names of the selection, port first: "selection-VVVV-PPPP-port-P"
// and "selection-VVVV-PPPP-serial-S" (IDs in upper-case hexadecimal), one
// for each of --port and --serial given; none without a selection. The
// serial number is folded to lower case, since the prompt may match it
// without regard to case. Bytes other than ASCII letters, digits, '.', '-'
// and '_' appear as %XX, and a value longer than 40 characters so written
// as '#' and 16 hexadecimal digits of its 64-bit FNV-1a hash, so that every
// name is a valid Windows mutex name and fits an abstract socket name.
std::vector<std::string> SelectionLockNames(uint16_t vendorId, uint16_t productId,
                                            const DeviceSelection& selection);

// Takes the selection's locks in SelectionLockNames order. While another
// process holds one, writes once to standard error that another instance
// holds the device and waits, retrying every 400 ms (an interrupt stops the
// wait like any sleep). A lock the system cannot create does not hold the
// command up. Returns once every lock is taken; with no selection at once.
void HoldSelection(uint16_t vendorId, uint16_t productId, const DeviceSelection& selection);
// Frees the locks HoldSelection took; nothing when it holds none.
void ReleaseSelection();

#endif  // QUORVEL_DFU_SELECTION_LOCK_H_
