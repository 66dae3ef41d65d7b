# The transfer benchmark driver (bench/run builds and runs it). It starts the
# program and preloads the emulator itself, so it only needs the firmware file
# builder and the tests' process and scenario pieces.
file(GLOB QUORVEL_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cc)
if(QUORVEL_BENCH_SOURCES AND TARGET quorvel_firmware_builder)
  add_executable(quorvel-bench ${QUORVEL_BENCH_SOURCES})
  target_link_libraries(quorvel-bench PRIVATE quorvel_firmware_builder quorvel_run_support)
endif()
