// "list" at the prompt: the HID interfaces on the bus, optionally only those
// of one vendor ID and product ID. Nothing is sent to any device.
#ifndef QUORVEL_CONSOLE_DEVICE_LISTING_H_
#define QUORVEL_CONSOLE_DEVICE_LISTING_H_

#include <string>
#include <vector>

// arguments: none, or vid [pid] in hexadecimal. A value that is not a
// hexadecimal number from 0 to FFFF prints the parameter error.
void ListDevices(const std::vector<std::string>& arguments);

#endif  // QUORVEL_CONSOLE_DEVICE_LISTING_H_
