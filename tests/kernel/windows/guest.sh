#!/bin/bash
# The Windows cases on a real USB stack, run inside the test machine in the
# host's root (tests/kernel/windows/init.sh): a configfs HID gadget on
# dummy_hcd, seen by the kernel's usbhid and hidraw, passed by Wine's winebus
# (through udev) to Windows programs. What each case printed, the gadget's
# place in sysfs and every byte the gadget received go to WORK/results;
# scripts/kernel-test-windows judges them on the host.
#
#   guest.sh WORK     (WORK holds prefix/, zip/, probe/ and fw/)
set -u
work=$1
results=$work/results
mkdir -p "$results"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all DISPLAY= HOME=/tmp/home
export WINEDLLOVERRIDES="mscoree,mshtml="
# The guest runs in a chroot of the host's root; udevadm would refuse to
# trigger and settle there, and Wine would then find no device properties.
export SYSTEMD_IGNORE_CHROOT=1
mkdir -p "$HOME"
clock() { cut -d' ' -f1 /proc/uptime; }
echo "quorvel-windows: guest up at $(clock) s"

/lib/systemd/systemd-udevd --daemon
udevadm trigger
udevadm settle -t 30

# The dongle: 248A:8266, serial QV24A01X, one vendor-defined collection
# (usage page FF00) with 64-byte input and output reports, on bus 1.
gadget=/sys/kernel/config/usb_gadget/dongle
mkdir -p $gadget/strings/0x409 $gadget/configs/c.1 $gadget/functions/hid.usb0
echo 0x248a >$gadget/idVendor
echo 0x8266 >$gadget/idProduct
echo QV24A01X >$gadget/strings/0x409/serialnumber
echo Quorvel >$gadget/strings/0x409/manufacturer
echo Receiver >$gadget/strings/0x409/product
echo 0 >$gadget/functions/hid.usb0/protocol
echo 0 >$gadget/functions/hid.usb0/subclass
echo 64 >$gadget/functions/hid.usb0/report_length
printf '\006\000\377\011\001\241\001\025\000\046\377\000\165\010\225\100\011\001\201\002\225\100\011\001\221\002\300' \
  >$gadget/functions/hid.usb0/report_desc
ln -s $gadget/functions/hid.usb0 $gadget/configs/c.1/
ls /sys/class/udc | head -n 1 >$gadget/UDC
for i in $(seq 100); do
  ls /sys/class/hidraw/*/device/uevent >/dev/null 2>&1 && break
  sleep 0.1
done
udevadm settle -t 30
{
  for node in /sys/class/hidraw/*; do
    echo "hidraw: $(basename "$node") $(readlink -f "$node/device")"
    grep -E '^HID_(ID|UNIQ|NAME)=' "$node/device/uevent"
  done
} >"$results/gadget.txt" 2>&1
echo "quorvel-windows: gadget bound at $(clock) s"

# Everything the host sends the gadget, for the judge.
cat /dev/hidg0 >"$results/received.bin" 2>"$results/received.err" &
reader=$!

# The programs run from the guest's memory: quorvel-dfu.exe mapped from the
# writable 9p share died at start on an execute fault inside its own code.
cp -r "$work/zip" "$work/probe" /tmp/
wineserver -p
# run CASE LIMIT ARGS...: a Windows program under Wine with a time limit; standard
# input from results/CASE/in when present.
run() {
  local name=$1 limit=$2 input=/dev/null
  shift 2
  mkdir -p "$results/$name"
  [ -f "$results/$name/in" ] && input=$results/$name/in
  echo "quorvel-windows: $name at $(clock) s"
  timeout -s KILL "$limit" wine "$@" <"$input" >"$results/$name/out" 2>"$results/$name/err"
  echo $? >"$results/$name/rc"
}

run probe 240 /tmp/probe/quorvel_hid_probe.exe
mkdir -p "$results/list" "$results/list-zh"
printf 'list\r\ncv\r\nexit\r\n' >"$results/list/in"
cp "$results/list/in" "$results/list-zh/in"
run list 240 /tmp/zip/quorvel-dfu.exe
LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 run list-zh 240 /tmp/zip/quorvel-dfu.exe
echo "quorvel-windows: cases done at $(clock) s"

wineserver -k
kill $reader
wait $reader 2>/dev/null
echo "ok" >"$results/finished"
