# The emulator as real devices of the Linux kernel: HID devices through uhid
# (quorvel-uhid-device) and USB HID gadgets on dummy_hcd through configfs
# (quorvel-gadget-device), and the judge of a run of the program against them
# in a virtual machine; scripts/kernel-test builds and runs them.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_library(quorvel_front_end STATIC
              ${CMAKE_SOURCE_DIR}/emulator/front_end/device_clock.cc
              ${CMAKE_SOURCE_DIR}/emulator/front_end/front_end_options.cc
              ${CMAKE_SOURCE_DIR}/emulator/front_end/report_descriptor.cc)
  target_link_libraries(quorvel_front_end PUBLIC quorvel_emulator)
  add_executable(quorvel-gadget-device
                 ${CMAKE_SOURCE_DIR}/emulator/gadget/gadget_main.cc
                 ${CMAKE_SOURCE_DIR}/emulator/gadget/configfs_gadget.cc
                 ${CMAKE_SOURCE_DIR}/emulator/gadget/host_opens.cc)
  target_link_libraries(quorvel-gadget-device PRIVATE quorvel_front_end)
  if(EXISTS /usr/include/linux/uhid.h)
    add_executable(quorvel-uhid-device ${CMAKE_SOURCE_DIR}/emulator/uhid/uhid_main.cc)
    target_link_libraries(quorvel-uhid-device PRIVATE quorvel_front_end)
  endif()
  if(QUORVEL_TESTS)
    add_executable(quorvel_kernel_judge ${CMAKE_SOURCE_DIR}/tests/kernel/judge.cc)
    target_link_libraries(quorvel_kernel_judge PRIVATE quorvel_test_support)
  endif()
endif()
