# Coverage-guided fuzz targets (libFuzzer), built only with Clang and
# -DQUORVEL_FUZZ=ON. Every target links the program's code, the emulator and
# the in-process harness compiled with the fuzzer's coverage and with
# AddressSanitizer and UndefinedBehaviorSanitizer; scripts/check-fuzz runs
# them.
option(QUORVEL_FUZZ "Build the libFuzzer targets (Clang only)" OFF)

if(QUORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(WARNING "QUORVEL_FUZZ needs Clang (CC=clang CXX=clang++); no fuzz targets")
  else()
    set(QUORVEL_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined
                           -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
    add_library(quorvel_fuzz_base STATIC
                ${QUORVEL_CORE_SOURCES}
                ${QUORVEL_EMULATOR_SOURCES}
                ${CMAKE_SOURCE_DIR}/tools/firmware_builder.cc
                ${CMAKE_SOURCE_DIR}/tests/support/virtual_platform.cc
                ${CMAKE_SOURCE_DIR}/tests/support/program_harness.cc
                ${CMAKE_SOURCE_DIR}/fuzz/fuzz_support.cc)
    target_compile_options(quorvel_fuzz_base PUBLIC ${QUORVEL_FUZZ_FLAGS})
    target_include_directories(quorvel_fuzz_base PUBLIC
                               ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/emulator
                               ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/tests
                               ${CMAKE_SOURCE_DIR}/fuzz ${CMAKE_BINARY_DIR}/generated
                               ${HIDAPI_INCLUDE_DIRS})
    target_link_libraries(quorvel_fuzz_base PUBLIC nlohmann_json::nlohmann_json ZLIB::ZLIB
                          OpenSSL::Crypto Threads::Threads
                          PkgConfig::LIBEDIT)

    foreach(name arguments_fuzzer device_reply_fuzzer image_loader_fuzzer prompt_fuzzer)
      add_executable(${name} ${CMAKE_SOURCE_DIR}/fuzz/${name}.cc)
      target_link_libraries(${name} PRIVATE quorvel_fuzz_base)
      target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    endforeach()
  endif()
endif()
