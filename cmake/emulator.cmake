# The device emulator (emulator/): one device model, built once, and the
# front ends that put it behind hidapi's functions, each built where it runs:
#   quorvel_emulator                 static, in-process tests (emulator.h)
#   libquorvel_emulator_preload.so   preloaded in front of the program (tools/emulate)
#   libquorvel_emulator_shared_bus.so  preloaded, hidapi over the shared bus's socket
#   quorvel-emulator-bus             the shared bus process holding the devices
#   hidapi.dll (Windows)             put beside a test copy of the program
# cmake/kernel.cmake adds the uhid devices of the Linux kernel.
set(QUORVEL_EMULATOR_MODEL_SOURCES
    caller.cc changes.cc clock.cc crc32.cc device_info.cc device_port.cc faults.cc handle.cc
    hex.cc host_write.cc json_file.cc loading.cc presence.cc record.cc requests.cc scenario.cc
    scenario_hotplug.cc hotplug.cc
    scenario_values.cc state_file.cc transfer.cc wide_text.cc world.cc)
if(WIN32)
  list(APPEND QUORVEL_EMULATOR_MODEL_SOURCES digest_win32.cc)
else()
  list(APPEND QUORVEL_EMULATOR_MODEL_SOURCES digest_openssl.cc sysfs_tree.cc)
endif()
list(TRANSFORM QUORVEL_EMULATOR_MODEL_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/emulator/model/)
set(QUORVEL_EMULATOR_HIDAPI_SOURCES ${CMAKE_SOURCE_DIR}/emulator/hidapi/hid_api.cc
                                    ${CMAKE_SOURCE_DIR}/emulator/hidapi/hid_extras.cc)
# Everything of the in-process emulator, for builds that compile it with
# flags of their own (cmake/fuzz.cmake).
set(QUORVEL_EMULATOR_SOURCES ${QUORVEL_EMULATOR_MODEL_SOURCES} ${QUORVEL_EMULATOR_HIDAPI_SOURCES}
                             ${CMAKE_SOURCE_DIR}/emulator/hidapi/in_process.cc)
if(NOT WIN32 OR QUORVEL_TESTS)
  add_library(quorvel_emulator_model STATIC ${QUORVEL_EMULATOR_MODEL_SOURCES})
  set_target_properties(quorvel_emulator_model PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(quorvel_emulator_model PUBLIC emulator ${HIDAPI_INCLUDE_DIRS})
  target_link_libraries(quorvel_emulator_model PUBLIC quorvel_json ZLIB::ZLIB quorvel_crypto
                        Threads::Threads)
  # hidapi's functions in front of the model, for each front end that holds
  # its devices in its own process; each links its own process hooks.
  add_library(quorvel_emulator_hidapi OBJECT ${QUORVEL_EMULATOR_HIDAPI_SOURCES})
  target_link_libraries(quorvel_emulator_hidapi PUBLIC quorvel_emulator_model)
endif()
if(WIN32 AND QUORVEL_TESTS)
  add_library(quorvel_emulator_dll SHARED $<TARGET_OBJECTS:quorvel_emulator_hidapi>
              emulator/preload/environment.cc emulator/windows/dll_main.cc)
  set_target_properties(quorvel_emulator_dll PROPERTIES
    OUTPUT_NAME hidapi PREFIX "" IMPORT_PREFIX "lib"
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/emulator
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/emulator)
  target_link_libraries(quorvel_emulator_dll PRIVATE quorvel_emulator_model)
elseif(NOT WIN32)
  add_library(quorvel_emulator STATIC $<TARGET_OBJECTS:quorvel_emulator_hidapi>
              emulator/hidapi/in_process.cc)
  target_link_libraries(quorvel_emulator PUBLIC quorvel_emulator_model)
  add_library(quorvel_emulator_preload SHARED $<TARGET_OBJECTS:quorvel_emulator_hidapi>
              emulator/preload/environment.cc emulator/preload/fatal_signals.cc
              emulator/preload/lock_namespace.cc emulator/preload/process_lock_namespace.cc
              emulator/preload/startup.cc emulator/preload/sysfs_view.cc
              emulator/preload/world_sysfs_root.cc)
  target_link_libraries(quorvel_emulator_preload PRIVATE quorvel_emulator_model ${CMAKE_DL_LIBS})
  # The shared bus: a process holding the devices for several preloaded
  # processes, which reach it over a Unix socket through their own hidapi.
  add_library(quorvel_emulator_shared_bus_wire STATIC emulator/shared_bus/device_info_json.cc
              emulator/shared_bus/wire.cc)
  set_target_properties(quorvel_emulator_shared_bus_wire PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_link_libraries(quorvel_emulator_shared_bus_wire PUBLIC quorvel_emulator_model)
  add_library(quorvel_emulator_shared_bus SHARED emulator/shared_bus/client_connection.cc
              emulator/shared_bus/client_hidapi.cc emulator/preload/lock_namespace.cc
              emulator/preload/sysfs_view.cc)
  target_link_libraries(quorvel_emulator_shared_bus PRIVATE quorvel_emulator_shared_bus_wire
                        ${CMAKE_DL_LIBS})
  add_executable(quorvel-emulator-bus emulator/shared_bus/main.cc emulator/shared_bus/server.cc
                 emulator/shared_bus/session.cc)
  target_link_libraries(quorvel-emulator-bus PRIVATE quorvel_emulator_shared_bus_wire
                        quorvel_emulator)
  # tools/emulate takes the shared bus's library from beside the preload one.
  add_dependencies(quorvel-emulator-bus quorvel_emulator_shared_bus)
  add_dependencies(quorvel_emulator_preload quorvel_emulator_shared_bus)
endif()

