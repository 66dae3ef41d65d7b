#!/usr/bin/env python3
"""Judges the Windows cases that tests/kernel/windows/guest.sh ran on a real
USB stack (a configfs HID gadget on dummy_hcd, passed to Windows programs by
Wine's winebus), from what each case printed, the gadget's place in sysfs and
every byte the gadget received:

  judge.py RESULTS

What Wine 8 lets the shipped zip do here is known and checked as such: Wine
shows the gadget to any Windows program (SetupDi, HidD_*), but hidapi.dll
0.13.1 does not start, since Wine's cfgmgr32.dll has no
CM_Get_Device_Interface_PropertyW (and its device interface list is a stub
that fails), so the zip lists no device and sends the gadget nothing. When
a newer Wine changes any of that, the judge says which fact changed: the
update, --serial and version cases can then run against the gadget.
"""

import os
import re
import sys

HID_CLASS = "{4d1e55b2-f16f-11cf-88cb-001111000030}"
# "No HID interface found" in Chinese, as a Chinese Windows console (code
# page 936) shows it.
CHINESE_NONE = "未找到 HID 接口".encode("gbk")
PROMPT_NONE = b">> >> No HID interface found"
# The program's line on standard error when hidapi does not start.
START_FAILED = b"quorvel-dfu: HID access did not start, so no device can be listed or opened: "
CHINESE_START_FAILED = "quorvel-dfu：HID 访问未能启动，无法列出或打开任何设备：".encode("gbk")

failures = []
passes = []


def check(condition, what):
    print("%s: %s" % ("ok" if condition else "FAILED", what))
    (passes if condition else failures).append(what)
    return condition


def read(results, name, text=True):
    path = os.path.join(results, name)
    if not os.path.exists(path):
        return "" if text else b""
    with open(path, "rb") as f:
        data = f.read()
    return data.decode("utf-8", "replace").replace("\r", "") if text else data


def judge_gadget(results):
    """The Linux side of the device: a USB device at port 1-1 of dummy_hcd,
    bound by usbhid, its serial from the string descriptor."""
    sysfs = read(results, "gadget.txt")
    check(re.search(r"dummy_hcd\.0/usb1/1-1/1-1:1\.0/0003:248A:8266\.", sysfs),
          "the gadget is a USB HID device at port 1-1 of dummy_hcd")
    check("HID_UNIQ=QV24A01X" in sysfs, "the kernel read the serial QV24A01X from the gadget")


def probe_lines(results, source):
    prefix = source + ": "
    return [line[len(prefix):] for line in read(results, "probe/out").splitlines()
            if line.startswith(prefix)]


def judge_windows_view(results):
    """What Windows (Wine) itself offers every program: the gadget with its
    IDs, serial, vendor usage page and 65-byte reports (64 and the report ID
    byte), beside Wine's own virtual mouse and keyboard."""
    check(read(results, "probe/rc").strip() == "0", "the HID probe ran under Wine")
    setupdi = probe_lines(results, "setupdi")
    gadget = [line for line in setupdi if "vid=248A pid=8266" in line]
    check(len(gadget) == 1, "SetupDi lists the gadget once")
    line = gadget[0] if gadget else ""
    check(line.lower().startswith("\\\\?\\hid#vid_248a&pid_8266&mi_00#") and
          line.lower().split(" ")[0].endswith(HID_CLASS),
          "its path is a HID interface of USB interface 0")
    for field in ("serial=QV24A01X", "usage-page=FF00", "input=65", "output=65"):
        check(field in line.split(" "), "HidD reports " + field)
    check(any("vid=845E pid=0001" in line for line in setupdi), "Wine's virtual mouse is listed")


def judge_hidapi_start(results):
    """Why the shipped hidapi.dll finds nothing: the facts of Wine 8 that
    decide it, each of which a newer Wine may change."""
    cfgmgr32 = probe_lines(results, "cfgmgr32")
    check("CM_Get_Device_Interface_PropertyW missing" in cfgmgr32,
          "Wine's cfgmgr32.dll has no CM_Get_Device_Interface_PropertyW")
    listing = next((line for line in cfgmgr32 if line.startswith("interface-list ")), "")
    check(listing.startswith("interface-list result=") and
          not listing.startswith("interface-list result=0 "),
          "Wine's CM_Get_Device_Interface_List_SizeW fails (%s)" % listing)
    hidapi = probe_lines(results, "hidapi")
    check(any(line.startswith("init -1 resolve DLL functions") for line in hidapi),
          "hid_init of the zip's hidapi.dll fails resolving its DLL functions")
    check("enumerate 0 " in [line[:len("enumerate 0 ")] for line in hidapi],
          "hid_enumerate of the zip's hidapi.dll returns no device")


def judge_prompt(results, name, none_text, start_failed, what):
    out = read(results, name + "/out", text=False)
    err = read(results, name + "/err", text=False)
    check(err.startswith(start_failed) and b"resolve DLL functions" in err,
          what + ": standard error says why hidapi did not start")
    check(read(results, name + "/rc").strip() == "0", what + ": the prompt ran to exit")
    check(none_text in out, what + ": list says no HID interface was found")
    check(b"248A" not in out.upper() and b"QV24A01X" not in out.upper(),
          what + ": the gadget is not listed")


def main():
    results = sys.argv[1]
    judge_gadget(results)
    judge_windows_view(results)
    judge_hidapi_start(results)
    judge_prompt(results, "list", PROMPT_NONE, START_FAILED, "the zip at the prompt")
    judge_prompt(results, "list-zh", CHINESE_NONE, CHINESE_START_FAILED,
                 "the zip at the prompt in Chinese")
    received = read(results, "received.bin", text=False)
    check(len(received) == 0,
          "no process sent the gadget a report (%d bytes received)" % len(received))
    print("windows-usb: %d passed, %d failed" % (len(passes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
