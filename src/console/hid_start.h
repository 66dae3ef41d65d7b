// Starting hidapi once per process, and saying why when it cannot start.
#ifndef QUORVEL_CONSOLE_HID_START_H_
#define QUORVEL_CONSOLE_HID_START_H_

// Calls hid_init. Returns true when hidapi started. When it did not (on
// Windows: hid.dll or cfgmgr32.dll lacks a function hidapi needs), every
// later listing finds nothing and every open fails, so one line on standard
// error names hidapi's own reason, in the user's language; standard output
// is untouched.
bool StartHidAccess();

#endif  // QUORVEL_CONSOLE_HID_START_H_
