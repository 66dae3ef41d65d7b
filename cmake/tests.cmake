# The tests: in-process unit tests on the virtual clock against the
# emulator, and end-to-end tests of the real binary behind the preloaded
# emulator in real time. Every source is listed here.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(quorvel_test_support STATIC
    tests/support/bytes.cc
    tests/support/campaign_judge.cc
    tests/support/code_page.cc
    tests/support/dfu_fixture.cc
    tests/support/e2e_runner.cc
    tests/support/e2e_upgrade_rows.cc
    tests/support/emulated_device_fixture.cc
    tests/support/fault_campaign.cc
    tests/support/program_harness.cc
    tests/support/screen_text.cc
    tests/support/shared_bus.cc
    tests/support/virtual_platform.cc)
target_include_directories(quorvel_test_support PUBLIC tests src)
target_link_libraries(quorvel_test_support PUBLIC quorvel_core quorvel_emulator
                      quorvel_firmware_builder quorvel_run_support GTest::gtest GTest::gmock)
target_compile_definitions(quorvel_test_support PUBLIC
  QUORVEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  QUORVEL_BINARY_DIR="${CMAKE_BINARY_DIR}")

# In-process tests: the program's code against the emulator and the virtual
# clock.
add_executable(quorvel_tests
    tests/console/argument_diagnostics_test.cc
    tests/console/arguments_test.cc
    tests/console/device_listing_test.cc
    tests/console/program_test.cc
    tests/console/skip_current_test.cc
    tests/console/station_child_test.cc
    tests/console/station_ports_test.cc
    tests/console/upgrade_sequences_test.cc
    tests/dfu/connection_test.cc
    tests/dfu/firmware_transfer_test.cc
    tests/dfu/mode_control_test.cc
    tests/dfu/permission_hint_test.cc
    tests/dfu/selection_lock_test.cc
    tests/dfu/version_report_test.cc
    tests/emulator/commands_test.cc
    tests/emulator/device_port_test.cc
    tests/emulator/enumeration_test.cc
    tests/emulator/faults_test.cc
    tests/emulator/framing_test.cc
    tests/emulator/record_state_test.cc
    tests/emulator/restart_test.cc
    tests/emulator/scenario_files_test.cc
    tests/emulator/shared_bus_wire_test.cc
    tests/emulator/transfer_test.cc
    tests/image/checksums_test.cc
    tests/image/file_reader_test.cc
    tests/image/image_header_test.cc
    tests/image/image_store_test.cc
    tests/image/program_loader_test.cc
    tests/output/event_stream_test.cc
    tests/output/help_text_test.cc
    tests/output/json_result_test.cc
    tests/output/log_printers_test.cc
    tests/output/station_log_test.cc
    tests/output/station_view_test.cc
    tests/output/status_printers_test.cc
    tests/platform/device_lock_process_test.cc
    tests/platform/locale_names_test.cc
    tests/platform/log_file_test.cc
    tests/platform/terminal_view_test.cc
    tests/platform/usb_port_test.cc
    tests/reliability/baseline_test.cc
    tests/reliability/file_faults_test.cc
    tests/reliability/recovery_test.cc
    tests/reliability/replace_fault_test.cc
    tests/reliability/reply_faults_test.cc
    tests/reliability/transfer_faults_test.cc
    tests/reliability/wait_faults_test.cc
    tests/runner/dongle_scenario_test.cc
    tests/runner/process_test.cc
    tests/tools/firmware_builder_test.cc
    tests/transport/device_discovery_test.cc
    tests/transport/device_list_test.cc
    tests/transport/display_name_test.cc
    tests/transport/hid_link_test.cc
    tests/transport/report_read_test.cc
    tests/transport/report_write_test.cc)
target_link_libraries(quorvel_tests PRIVATE quorvel_test_support GTest::gtest_main)
# The shared bus's wire, which the in-process emulator does not hold.
target_link_libraries(quorvel_tests PRIVATE quorvel_emulator_shared_bus_wire)
gtest_discover_tests(quorvel_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)

# End-to-end tests: the real binary in real time behind the emulator.
add_executable(quorvel_e2e_tests
    tests/e2e/control_test.cc
    tests/e2e/event_stream_test.cc
    tests/e2e/exit_status_test.cc
    tests/e2e/failures_test.cc
    tests/e2e/forced_rows_test.cc
    tests/e2e/hotplug_test.cc
    tests/e2e/image_memory_test.cc
    tests/e2e/json_contract_test.cc
    tests/e2e/output_modes_test.cc
    tests/e2e/parallel_test.cc
    tests/e2e/prompt_test.cc
    tests/e2e/recovery_line_test.cc
    tests/e2e/selection_grammar_test.cc
    tests/e2e/selection_line_test.cc
    tests/e2e/station_test.cc
    tests/e2e/reliability_faults_test.cc
    tests/e2e/upgrade_rows_test.cc)
target_link_libraries(quorvel_e2e_tests PRIVATE quorvel_test_support GTest::gtest_main)
add_dependencies(quorvel_e2e_tests quorvel-dfu quorvel_emulator_preload quorvel-mkfirmware
                 quorvel-emulator-bus)
gtest_discover_tests(quorvel_e2e_tests DISCOVERY_TIMEOUT 60 TEST_FILTER "-SharedBus*"
                     PROPERTIES LABELS e2e TIMEOUT 300)
# Eight instances with their 1 ms paced writes already fill both cores:
# beside other tests a loaded machine would stretch them past the device's
# own reply windows.
gtest_discover_tests(quorvel_e2e_tests DISCOVERY_TIMEOUT 60 TEST_FILTER "SharedBus*"
                     PROPERTIES LABELS e2e TIMEOUT 300 RUN_SERIAL TRUE)

# hidapi binds its libudev call to the program's guard only while the
# program exports it (src/platform/hidraw_guard_linux.cc).
if(NOT WIN32)
  add_test(NAME program_exports_hidraw_guard
           COMMAND sh -c "nm -D --defined-only \"$1\" | grep -qw udev_device_get_sysattr_value"
                   sh $<TARGET_FILE:quorvel-dfu>)
endif()
