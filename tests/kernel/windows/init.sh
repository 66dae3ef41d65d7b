#!/bin/busybox sh
# /init of the Windows test machine that scripts/kernel-test-windows boots:
# loads the kernel's USB gadget, HID and 9p modules, mounts the host's root
# read-only (tag hostroot) and the work folder writable (tag work) over 9p,
# and runs tests/kernel/windows/guest.sh inside the host's root, where Wine,
# udev and the zip are. The host judges what comes back in the work folder.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /modules/order); do
  insmod /modules/$module || echo "quorvel-windows: insmod $module failed"
done
work=$(cat /work-path)
mkdir -p /host
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 hostroot /host ||
  echo "quorvel-windows: the host's root did not mount"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 work /host$work ||
  echo "quorvel-windows: the work folder did not mount"
mount -t proc proc /host/proc || echo "quorvel-windows: no /proc in the host's root"
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
mount -t configfs configfs /host/sys/kernel/config
mkdir -p /host/dev/shm /host/dev/pts
mount -t tmpfs tmpfs /host/dev/shm
mount -t devpts devpts /host/dev/pts
for dir in tmp run; do
  mount -t tmpfs tmpfs /host/$dir
done
chroot /host /bin/bash $(cat /guest-script) $work >/dev/console 2>&1
echo "QUORVEL-WINDOWS-TEST: done"
sync
poweroff -f
