# The program: one static library per layer, each linked only to the layers
# below it (platform; image, output and transport on it; dfu on those; the
# console on top), and the executable. Every source is listed here; a file
# that is not listed is not built.
#
# A static library may leave symbols undefined, so on Linux each layer is
# also linked once as a shared library that must resolve every symbol from
# itself and the layers it names (-Wl,--no-undefined): a call from a lower
# layer into a higher one then fails to link.

if(WIN32)
  set(QUORVEL_PLATFORM_OS_SOURCES
      src/platform/child_process_win32.cc
      src/platform/log_file_win32.cc
      src/platform/platform_win32.cc
      src/platform/terminal_view_win32.cc
      src/platform/text_encoding_win32.cc
      src/platform/usb_port_walk_win32.cc
      src/platform/wide_text_win32.cc)
  set(QUORVEL_SHA256_SOURCE src/image/sha256_win32.cc)
else()
  set(QUORVEL_PLATFORM_OS_SOURCES
      src/platform/child_process_posix.cc
      src/platform/log_file_posix.cc
      src/platform/platform_posix.cc
      src/platform/terminal_view_posix.cc
      src/platform/text_encoding_posix.cc
      src/platform/usb_port_walk_posix.cc)
  set(QUORVEL_SHA256_SOURCE src/image/sha256_openssl.cc)
endif()

set(QUORVEL_PLATFORM_SOURCES
    src/platform/local_time.cc
    src/platform/locale_names.cc
    src/platform/platform.cc
    src/platform/usb_port.cc
    ${QUORVEL_PLATFORM_OS_SOURCES})
set(QUORVEL_IMAGE_SOURCES
    src/image/checksums.cc
    src/image/file_reader.cc
    src/image/header_windows.cc
    src/image/image_layout.cc
    src/image/image_store.cc
    src/image/program_loader.cc
    ${QUORVEL_SHA256_SOURCE})
set(QUORVEL_OUTPUT_SOURCES
    src/output/console_encoding.cc
    src/output/event_stream.cc
    src/output/help_text.cc
    src/output/json_fields.cc
    src/output/json_listing.cc
    src/output/json_result.cc
    src/output/log_printers.cc
    src/output/message_table.cc
    src/output/station_log.cc
    src/output/station_view.cc
    src/output/status_printers.cc)
set(QUORVEL_TRANSPORT_SOURCES
    src/transport/device_discovery.cc
    src/transport/device_list.cc
    src/transport/device_selection.cc
    src/transport/display_name.cc
    src/transport/hid_link.cc
    src/transport/report_descriptor.cc)
set(QUORVEL_DFU_SOURCES
    src/dfu/command_exchange.cc
    src/dfu/connection.cc
    src/dfu/device_modes.cc
    src/dfu/firmware_transfer.cc
    src/dfu/mode_control.cc
    src/dfu/passthrough.cc
    src/dfu/selection_lock.cc
    src/dfu/version_report.cc)
set(QUORVEL_CONSOLE_SOURCES
    src/console/argument_diagnostics.cc
    src/console/arguments.cc
    src/console/command.cc
    src/console/command_execution.cc
    src/console/device_listing.cc
    src/console/device_query.cc
    src/console/dfu_settings.cc
    src/console/hid_start.cc
    src/console/interruption.cc
    src/console/json_report.cc
    src/console/loaded_images.cc
    src/console/program.cc
    src/console/recovery_advice.cc
    src/console/skip_current.cc
    src/console/station.cc
    src/console/station_child.cc
    src/console/station_ports.cc
    src/console/station_settings.cc
    src/console/upgrade_sequences.cc)
# Everything but main, for targets that compile the program again with their
# own flags (the fuzz targets).
set(QUORVEL_CORE_SOURCES
    ${QUORVEL_PLATFORM_SOURCES} ${QUORVEL_IMAGE_SOURCES} ${QUORVEL_OUTPUT_SOURCES}
    ${QUORVEL_TRANSPORT_SOURCES} ${QUORVEL_DFU_SOURCES} ${QUORVEL_CONSOLE_SOURCES})
list(TRANSFORM QUORVEL_CORE_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)

# quorvel_layer(NAME SOURCES... DEPENDS LIBS...)
function(quorvel_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 LAYER "" "" "SOURCES;DEPENDS")
  add_library(quorvel_${name} STATIC ${LAYER_SOURCES})
  target_include_directories(quorvel_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(quorvel_${name} PUBLIC ${LAYER_DEPENDS})
endfunction()

quorvel_layer(platform SOURCES ${QUORVEL_PLATFORM_SOURCES} DEPENDS Threads::Threads)
if(NOT WIN32)
  target_link_libraries(quorvel_platform PUBLIC quorvel_line_editing)
endif()
quorvel_layer(image SOURCES ${QUORVEL_IMAGE_SOURCES}
              DEPENDS quorvel_platform ZLIB::ZLIB quorvel_crypto)
quorvel_layer(output SOURCES ${QUORVEL_OUTPUT_SOURCES} DEPENDS quorvel_platform quorvel_json)
# Only hidapi's header: the program links the shared library, the tests link
# the emulator, which defines the same functions.
quorvel_layer(transport SOURCES ${QUORVEL_TRANSPORT_SOURCES} DEPENDS quorvel_platform)
target_include_directories(quorvel_transport PUBLIC ${HIDAPI_INCLUDE_DIRS})
quorvel_layer(dfu SOURCES ${QUORVEL_DFU_SOURCES}
              DEPENDS quorvel_transport quorvel_image quorvel_output)
quorvel_layer(console SOURCES ${QUORVEL_CONSOLE_SOURCES} DEPENDS quorvel_dfu)
# The version, set once in project(), for the banner and the manual page.
configure_file(${CMAKE_SOURCE_DIR}/src/console/tool_version.h.in
               ${CMAKE_BINARY_DIR}/generated/console/tool_version.h @ONLY)
target_include_directories(quorvel_console PRIVATE ${CMAKE_BINARY_DIR}/generated)

# The whole program without main, for the program and its tests.
add_library(quorvel_core INTERFACE)
target_link_libraries(quorvel_core INTERFACE quorvel_console)

# The transport calls hidapi, which the program takes from the real library
# and the tests from the emulator. A target that sets QUORVEL_REAL_HIDAPI gets
# the real one as the transport's own dependency, so that it comes after the
# transport on the link line, as a static link (MinGW's) needs.
target_link_libraries(quorvel_transport INTERFACE
                      "$<$<BOOL:$<TARGET_PROPERTY:QUORVEL_REAL_HIDAPI>>:quorvel_hidapi>")
add_executable(quorvel-dfu ${CMAKE_SOURCE_DIR}/src/console/main.cc)
if(NOT WIN32)
  # In the executable itself, so that the linker exports it to hidapi.
  target_sources(quorvel-dfu PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/hidraw_guard_linux.cc)
  target_link_libraries(quorvel-dfu PRIVATE ${CMAKE_DL_LIBS})
endif()
set_target_properties(quorvel-dfu PROPERTIES QUORVEL_REAL_HIDAPI ON)
target_link_libraries(quorvel-dfu PRIVATE quorvel_core)

# The link checks (Linux; Clang's sanitizers leave their runtime to the
# executable, so a sanitized Clang build has none).
if(NOT WIN32 AND NOT (QUORVEL_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
  foreach(layer platform image output transport dfu console)
    add_library(quorvel_${layer}_link_check SHARED ${CMAKE_SOURCE_DIR}/cmake/link_check.cc)
    target_link_libraries(quorvel_${layer}_link_check PRIVATE
                          "$<LINK_LIBRARY:WHOLE_ARCHIVE,quorvel_${layer}>")
    target_link_options(quorvel_${layer}_link_check PRIVATE -Wl,--no-undefined)
  endforeach()
  set_target_properties(quorvel_transport_link_check quorvel_dfu_link_check
                        quorvel_console_link_check PROPERTIES QUORVEL_REAL_HIDAPI ON)
endif()
