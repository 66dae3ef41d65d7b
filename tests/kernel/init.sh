#!/bin/busybox sh
# /init of the test machine that scripts/kernel-test boots: loads the kernel's
# HID modules, runs each case against emulated devices that the kernel sees as
# real HID devices (quorvel-uhid-device over /dev/uhid), and sends what every
# case printed and every device recorded to the host over the second serial
# port. The host judges it (quorvel_kernel_judge); nothing is judged here.
/bin/busybox --install -s /bin
export PATH=/bin:/q/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp /results
for module in hid hid-generic uhid; do
  insmod /lib/modules/$module.ko || echo "quorvel-kernel: insmod $module failed"
done
cd /q

DEVICE_PID=
# start_devices CASE: the case's devices on the bus, every output report
# logged; waits until the kernel has made a hidraw node for each of them.
start_devices() {
  local want i
  echo "quorvel-kernel: $1 at $(cut -d' ' -f1 /proc/uptime) s"
  mkdir -p /results/$1
  quorvel-uhid-device --trace --record /results/$1/record.json scenarios/$1.json \
    2>/results/$1/uhid.log &
  DEVICE_PID=$!
  want=$(grep -c '"name"' scenarios/$1.json)
  for i in $(seq 100); do
    if [ "$(grep -c ': on /dev/hidraw' /results/$1/uhid.log)" -ge "$want" ]; then
      ls -l /dev/hidraw* >/results/$1/nodes 2>&1
      return 0
    fi
    sleep 0.1
  done
  echo "quorvel-kernel: $1: devices did not appear" >>/results/$1/uhid.log
}

stop_devices() {
  local i
  kill -TERM $DEVICE_PID
  # A device in the middle of a restart comes back first (at most 10 s).
  for i in $(seq 120); do
    kill -0 $DEVICE_PID 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL $DEVICE_PID 2>/dev/null
  wait $DEVICE_PID
}

# program CASE LIMIT [ARGS...]: quorvel-dfu with a hard time limit; standard
# input from /results/CASE/in when present.
program() {
  local name=$1 limit=$2 input=/dev/null
  shift 2
  [ -f /results/$name/in ] && input=/results/$name/in
  timeout -s KILL $limit quorvel-dfu "$@" <$input >/results/$name/out 2>/results/$name/err
  echo $? >/results/$name/rc
}

update() {
  local name=$1
  shift
  start_devices $name
  program $name 60 "$@"
  stop_devices $name
}

for variant in plain numbered; do
  update p4-$variant 248a 8266 -s 4 -d fw/one.bin -t fw/passthrough.bin
  update p2-$variant 248a 8266 -s 2 -d fw/two.bin
  update p3-$variant 248a 8266 -s 3 -d fw/offset.bin
  c=listing-$variant
  mkdir -p /results/$c
  printf 'list\ncv\nexit\n' >/results/$c/in
  update $c
done

# The kernel itself, without the program: what a write of a report ID 0 and
# a read of a report with another ID do on each descriptor variant.
c=raw
start_devices $c
for node in $(sed -n 's/.*: on \(\/dev\/hidraw[0-9]*\)$/\1/p' /results/$c/uhid.log); do
  exec 3<>$node
  for request in 55 56; do
    # One write() per report: the whole report is put together first.
    for size in 65 64; do
      { [ $size = 65 ] && printf '\000'; printf '\012'; printf "\\$(printf %o 0x$request)"
        head -c 62 /dev/zero; } >/tmp/report
      cat /tmp/report >&3
      echo "$node $size $request: $(timeout 1 dd bs=128 count=1 <&3 2>/dev/null | od -An -tx1 | head -1)"
    done
  done >>/results/$c/out
  exec 3>&-
done
stop_devices $c

# A second instance is kept off the device the first one holds: it tries
# while the first waits for the erase to complete.
c=lock
start_devices $c
timeout -s KILL 60 quorvel-dfu 248a 8266 -s 4 -d fw/one.bin >/results/$c/out 2>/results/$c/err </dev/null &
first=$!
for i in $(seq 200); do
  grep -q 'UHID_OUTPUT [0-9]* bytes, type [0-9]*: \(00 \)\{0,1\}0A 02' /results/$c/uhid.log && break
  sleep 0.05
done
mkdir -p /results/lock-second
printf 'cv\nexit\n' >/results/lock-second/in
program lock-second 20
wait $first
echo $? >/results/$c/rc
stop_devices $c

# An unprivileged user on a node only root may open.
c=permission
mkdir -p /results/$c
printf 'cv\nexit\n' >/results/$c/in
start_devices $c
timeout -s KILL 20 su -s /bin/sh -c /q/bin/quorvel-dfu nobody \
  </results/$c/in >/results/$c/out 2>/results/$c/err
echo $? >/results/$c/rc
stop_devices $c

# The device is destroyed in the middle of the download.
update vanish 248a 8266 -s 0 -d fw/one.bin

cd /results
echo "quorvel-kernel: sending results"
{
  echo "QUORVEL-RESULTS-BEGIN"
  tar -c . | gzip | base64
  echo "QUORVEL-RESULTS-END"
} >/dev/ttyS1
echo "QUORVEL-KERNEL-TEST: $(ls /results | wc -l) cases run"
sync
poweroff -f
