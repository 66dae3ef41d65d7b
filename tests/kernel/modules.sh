# The kernel modules the test machines load from Debian's kernel package, in
# insmod order (each after the modules it depends on), and their parameters.
# Sourced by scripts/kernel-test on the host (which modules to unpack) and by
# the machine's /init (what to load); busybox sh and bash alike.
#
# hid, hid-generic, uhid: the emulator's devices as HID devices through uhid.
# usb-common, usbcore, udc-core, configfs, libcomposite, dummy_hcd, usb_f_hid,
# usbhid: the same devices as USB HID gadgets, on dummy_hcd's virtual host
# controllers (one bus per gadget), seen through usbhid and hid-generic.
QUORVEL_KERNEL_MODULES="hid hid-generic uhid usb-common usbcore udc-core configfs libcomposite
  dummy_hcd usb_f_hid usbhid"

# The insmod parameters of a module.
quorvel_module_parameters() {
  case $1 in
    dummy_hcd) echo "num=4" ;;  # four buses: four identical dongles at 1-1 .. 4-1
  esac
}

# Loads the modules from DIR (NAME.ko each), saying which failed.
quorvel_load_modules() {
  for module in $QUORVEL_KERNEL_MODULES; do
    # shellcheck disable=SC2046  # the parameters are words
    insmod "$1/$module.ko" $(quorvel_module_parameters "$module") ||
      echo "quorvel-kernel: insmod $module failed"
  done
}
