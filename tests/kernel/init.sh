#!/bin/busybox sh
# /init of the test machine that scripts/kernel-test boots: loads the kernel's
# HID and USB modules (modules.sh), runs each case against emulated devices
# that the kernel sees as real HID devices (quorvel-uhid-device over
# /dev/uhid) or as real USB devices (quorvel-gadget-device: configfs HID
# gadgets on dummy_hcd, one bus each), and sends what every case printed and
# every device recorded to the host over the second serial port. The host
# judges it (quorvel_kernel_judge); nothing is judged here.
/bin/busybox --install -s /bin
export PATH=/bin:/q/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /tmp /results
. /q/modules.sh
quorvel_load_modules /lib/modules
mount -t configfs configfs /sys/kernel/config || echo "quorvel-kernel: no configfs"
cd /q

DEVICE_PID=
FRONT=uhid
# start_devices CASE [COUNT]: the case's devices on the bus ($FRONT: uhid or
# gadget), every output report logged; waits until the kernel has made a
# hidraw node for each of them (for COUNT of them, when given).
start_devices() {
  local want i
  echo "quorvel-kernel: $1 at $(cut -d' ' -f1 /proc/uptime) s"
  mkdir -p /results/$1
  quorvel-$FRONT-device --trace --record /results/$1/record.json scenarios/$1.json \
    2>/results/$1/$FRONT.log &
  DEVICE_PID=$!
  want=${2:-$(grep -c '"name"' scenarios/$1.json)}
  for i in $(seq 300); do
    if [ "$(grep -c ': on /dev/hidraw' /results/$1/$FRONT.log)" -ge "$want" ]; then
      ls -l /dev/hidraw* >/results/$1/nodes 2>&1
      return 0
    fi
    sleep 0.1
  done
  echo "quorvel-kernel: $1: devices did not appear" >>/results/$1/$FRONT.log
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
  mkdir -p /results/$name
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

uhid_cases() {
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
}

# The same devices as USB gadgets: real USB descriptors, string descriptors,
# ports (bus N, port 1) and disconnects.
gadget_cases() {
  local c k
  for variant in plain numbered; do
    update g-p4-$variant 248a 8266 -s 4 -d fw/one.bin -t fw/passthrough.bin
  done
  # Entering the forced upgrade mode restarts the chip, which comes back
  # under another product ID at the same port.
  update g-p3 248a 8266 -s 3 -d fw/offset.bin --port 1-1
  # Four identical dongles at once, each pinned to its own.
  c=g-line-port
  start_devices $c
  for k in 1 2 3 4; do
    program $c-$k 120 248a 8266 -s 4 -d fw/line$k.bin --port $k-1 &
    PROGRAMS="$PROGRAMS $!"
  done
  wait_programs $c
  c=g-line-serial
  start_devices $c
  for k in 1 2 3; do
    program $c-$k 120 248a 8266 -s 4 -d fw/line$k.bin --serial "$(sed -n ${k}p serials)" &
    PROGRAMS="$PROGRAMS $!"
  done
  program $c-4 120 248a 8266 -s 4 -d fw/line4.bin --port 4-1 &
  PROGRAMS="$PROGRAMS $!"
  wait_programs $c
  # Its restart brings the dongle back without a serial number; the port
  # still finds it.
  update g-noserial 248a 8266 -s 4 -d fw/one.bin --port 3-1
  c=g-listing
  mkdir -p /results/$c
  printf 'list\nexit\n' >/results/$c/in
  update $c
  # A failure's recovery command, run as printed.
  c=g-recovery
  start_devices $c
  program $c 90 248a 8266 -s 3 -d fw/one.bin -c 0 --serial qv24a03x
  sed -n 's/.*to recover it run: //p' /results/$c/err | head -n 1 >/results/$c/printed
  mkdir -p /results/$c-printed
  timeout -s KILL 60 sh -c "$(cat /results/$c/printed)" </dev/null \
    >/results/$c-printed/out 2>/results/$c-printed/err
  echo $? >/results/$c-printed/rc
  stop_devices $c
  # A dongle pulled, another plugged into the same port; the program waits
  # for the second.
  c=g-replug
  start_devices $c 1
  program $c 60 248a 8266 -s 4 -d fw/line2.bin --serial QV24A02X
  stop_devices $c
  # Unplugged in the middle of the download.
  update g-unplug 248a 8266 -s 0 -d fw/one.bin --port 2-1
}

# The station: dongles plugged and pulled by binding and unbinding their
# gadgets; only the first, third and fourth are there at the start.
station_cases() {
  local c=g-station
  start_devices $c 3
  program $c 150 248a 8266 -s 4 -d fw/line1.bin --station --count 5 --port 1-1,2-1,3-1,4-1 \
    --log /results/$c/station.log
  stop_devices $c
}

PROGRAMS=
# wait_programs CASE: waits for the programs started in the background
# ($PROGRAMS), then stops the case's devices.
wait_programs() {
  wait $PROGRAMS
  PROGRAMS=
  stop_devices $1
}

cases=$(cat /q/cases 2>/dev/null || echo "uhid gadget station")
case " $cases " in *" uhid "*) uhid_cases ;; esac
FRONT=gadget
case " $cases " in *" gadget "*) gadget_cases ;; esac
case " $cases " in *" station "*) station_cases ;; esac

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
