#include "gadget/configfs_gadget.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "front_end/report_descriptor.h"

namespace emu {
namespace {

const char kGadgets[] = "/sys/kernel/config/usb_gadget";
const char kFunction[] = "functions/hid.usb0";

bool WriteBytes(const std::string& path, const void* data, size_t size, std::string* error) {
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ssize_t n = fd < 0 ? -1 : write(fd, data, size);
  int saved = errno;
  if (fd >= 0)
    close(fd);
  if (n == static_cast<ssize_t>(size))
    return true;
  *error = path + ": " + std::strerror(saved);
  return false;
}

bool WriteText(const std::string& path, const std::string& text, std::string* error) {
  // configfs strips the newline; an empty value needs it to be written at all.
  std::string line = text + "\n";
  return WriteBytes(path, line.data(), line.size(), error);
}

bool MakeDir(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
    return true;
  *error = path + ": " + std::strerror(errno);
  return false;
}

std::string HexId(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", value & 0xFFFF);
  return text;
}

std::string ReadLine(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    char line[256];
    if (std::fgets(line, sizeof line, f))
      text = line;
    std::fclose(f);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}

// The first entry of dir whose name starts with prefix (and is longer);
// empty when there is none.
std::string EntryLike(const std::string& dir, const std::string& prefix) {
  std::string found;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr)
    return found;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > prefix.size()) {
      found = name;
      break;
    }
  }
  closedir(d);
  return found;
}

bool MakeFunction(const ConfigfsGadget& g, const PortDevice& device, std::string* error) {
  std::string f = g.dir + "/" + kFunction;
  const std::vector<uint8_t>& rd = ReportDescriptor(device.collection);
  if (!MakeDir(f, error) || !WriteText(f + "/protocol", "0", error) ||
      !WriteText(f + "/subclass", "0", error) || !WriteText(f + "/report_length", "64", error) ||
      !WriteBytes(f + "/report_desc", rd.data(), rd.size(), error))
    return false;
  std::string config = g.dir + "/configs/c.1";
  if (!MakeDir(config, error) || !MakeDir(config + "/strings/0x409", error) ||
      !WriteText(config + "/strings/0x409/configuration", "HID", error))
    return false;
  std::string link = config + "/hid.usb0";
  if (symlink(f.c_str(), link.c_str()) != 0 && errno != EEXIST) {
    *error = link + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

bool MakeGadget(size_t index, size_t udc, const PortDevice& device, ConfigfsGadget* gadget,
                std::string* error) {
  ConfigfsGadget& g = *gadget;
  g.dir = std::string(kGadgets) + "/quorvel" + std::to_string(index);
  g.udc = "dummy_udc." + std::to_string(udc);
  g.hcd = "/sys/devices/platform/dummy_hcd." + std::to_string(udc);
  if (!MakeDir(g.dir, error) || !MakeDir(g.dir + "/strings/0x409", error) ||
      !WriteText(g.dir + "/bcdUSB", "0x0200", error) || !MakeFunction(g, device, error) ||
      !SetGadgetIdentity(g, device, error))
    return false;
  // The function's character device, "major:minor"; the node is /dev/hidgMINOR.
  std::string dev = ReadLine(g.dir + "/" + kFunction + "/dev");
  size_t colon = dev.find(':');
  if (colon == std::string::npos) {
    *error = g.dir + "/" + kFunction + "/dev: no device number";
    return false;
  }
  g.hidg = "/dev/hidg" + dev.substr(colon + 1);
  return true;
}

bool SetGadgetIdentity(const ConfigfsGadget& g, const PortDevice& device, std::string* error) {
  std::string strings = g.dir + "/strings/0x409";
  return WriteText(g.dir + "/idVendor", HexId(device.vendorId), error) &&
         WriteText(g.dir + "/idProduct", HexId(device.productId), error) &&
         WriteText(g.dir + "/bcdDevice", HexId(device.release), error) &&
         WriteText(strings + "/manufacturer", device.manufacturer, error) &&
         WriteText(strings + "/product", device.product.empty() ? device.name : device.product,
                   error) &&
         WriteText(strings + "/serialnumber", device.serial, error);
}

bool BindGadget(const ConfigfsGadget& g, std::string* error) {
  return WriteText(g.dir + "/UDC", g.udc, error);
}

bool UnbindGadget(const ConfigfsGadget& g, std::string* error) {
  return WriteText(g.dir + "/UDC", "", error);
}

void RemoveGadget(const ConfigfsGadget& g) {
  if (g.dir.empty())
    return;
  std::string error;
  UnbindGadget(g, &error);
  std::string config = g.dir + "/configs/c.1";
  unlink((config + "/hid.usb0").c_str());
  rmdir((config + "/strings/0x409").c_str());
  rmdir(config.c_str());
  rmdir((g.dir + "/" + kFunction).c_str());
  rmdir((g.dir + "/strings/0x409").c_str());
  rmdir(g.dir.c_str());
}

bool FindHostSide(const ConfigfsGadget& g, std::string* port, std::string* hidraw) {
  // dummy_hcd.N/usbB/B-1/B-1:1.0/0003:VID:PID.NNNN/hidraw/hidrawK
  std::string bus = EntryLike(g.hcd, "usb");
  if (bus.empty())
    return false;
  std::string chain = bus.substr(3) + "-1";
  std::string dir = g.hcd + "/" + bus + "/" + chain + "/" + chain + ":1.0";
  std::string hid = EntryLike(dir, "0003:");
  if (hid.empty())
    return false;
  std::string node = EntryLike(dir + "/" + hid + "/hidraw", "hidraw");
  if (node.empty())
    return false;
  *port = chain;
  *hidraw = "/dev/" + node;
  return true;
}

}  // namespace emu
