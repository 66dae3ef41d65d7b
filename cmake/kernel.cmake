# The emulator as real HID devices of the Linux kernel (uhid), and the judge
# of a run of the program against them in a virtual machine; scripts/kernel-test
# builds and runs both.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND EXISTS /usr/include/linux/uhid.h)
  add_executable(quorvel-uhid-device ${CMAKE_SOURCE_DIR}/emulator/uhid/uhid_main.cc)
  target_link_libraries(quorvel-uhid-device PRIVATE quorvel_emulator)
  if(QUORVEL_TESTS)
    add_executable(quorvel_kernel_judge ${CMAKE_SOURCE_DIR}/tests/kernel/judge.cc)
    target_link_libraries(quorvel_kernel_judge PRIVATE quorvel_test_support)
  endif()
endif()
