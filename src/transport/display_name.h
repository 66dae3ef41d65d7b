// How a HID interface is named to the user, and hidapi's wide device strings
// in the console's encoding.
#ifndef QUORVEL_TRANSPORT_DISPLAY_NAME_H_
#define QUORVEL_TRANSPORT_DISPLAY_NAME_H_

#include <string>

struct hid_device_info;

// "Manufacturer Product (HID\VID_xxxx&PID_xxxx&REV_xxxx&MI_xx&Colxx)" in at
// most 255 bytes: pieces that would not fit are left out, not cut; the
// &MI_ and &Col markers appear only when the path holds them.
std::string BuildDisplayName(const hid_device_info& record);

// A device string in the console's narrow encoding; false, with *narrow
// unchanged, when the string is absent or cannot be converted.
bool NarrowDeviceText(const wchar_t* text, std::string* narrow);

#endif  // QUORVEL_TRANSPORT_DISPLAY_NAME_H_
