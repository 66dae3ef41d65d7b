# The transfer benchmark driver (bench/run builds and runs it). It starts the
# program and preloads the emulator itself, so it only needs the firmware file
# builder and the tests' process and scenario pieces.
add_executable(quorvel-bench
    bench/bounds.cc
    bench/child.cc
    bench/main.cc
    bench/memory.cc
    bench/parallel.cc
    bench/record.cc
    bench/report.cc
    bench/scenario.cc
    bench/station.cc)
target_link_libraries(quorvel-bench PRIVATE quorvel_firmware_builder quorvel_run_support)
