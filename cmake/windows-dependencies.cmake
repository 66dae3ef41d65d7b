# What the Windows build links, none of it improvised: hidapi 0.13.1 built
# from Debian's source package (scripts/build-windows), zlib from
# libz-mingw-w64-dev linked statically, SHA-256 from Windows CNG (bcrypt),
# and the MinGW runtime (libgcc, libstdc++, winpthreads) linked statically,
# so that the zip runs on a Windows without MinGW.

set(QUORVEL_HIDAPI_DIR "" CACHE PATH
    "hidapi for Windows: include/hidapi/hidapi.h, bin/hidapi.dll, lib/libhidapi.dll.a")
if(NOT EXISTS "${QUORVEL_HIDAPI_DIR}/include/hidapi/hidapi.h")
  message(FATAL_ERROR "QUORVEL_HIDAPI_DIR does not hold hidapi (scripts/build-windows builds it)")
endif()
set(HIDAPI_INCLUDE_DIRS ${QUORVEL_HIDAPI_DIR}/include ${QUORVEL_HIDAPI_DIR}/include/hidapi)
add_library(quorvel_hidapi SHARED IMPORTED)
set_target_properties(quorvel_hidapi PROPERTIES
  IMPORTED_LOCATION ${QUORVEL_HIDAPI_DIR}/bin/hidapi.dll
  IMPORTED_IMPLIB ${QUORVEL_HIDAPI_DIR}/lib/libhidapi.dll.a
  INTERFACE_INCLUDE_DIRECTORIES "${HIDAPI_INCLUDE_DIRS}")

find_path(QUORVEL_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
find_library(QUORVEL_ZLIB_STATIC NAMES libz.a REQUIRED)
add_library(ZLIB::ZLIB STATIC IMPORTED)
set_target_properties(ZLIB::ZLIB PROPERTIES
  IMPORTED_LOCATION ${QUORVEL_ZLIB_STATIC}
  INTERFACE_INCLUDE_DIRECTORIES ${QUORVEL_ZLIB_INCLUDE_DIR})

add_library(quorvel_crypto INTERFACE)
target_link_libraries(quorvel_crypto INTERFACE bcrypt)
# The device re-scan and USB port lookup (cfgmgr32) and the wide command
# line (shell32).
link_libraries(cfgmgr32 shell32)

# Everything but system DLLs and hidapi.dll goes into the executables.
add_link_options(-static -static-libgcc -static-libstdc++)
# MinGW's printf family would otherwise follow the C runtime's rules for %lld.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1 WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0A00)

# Header-only libraries of the build machine, read from their Debian
# packages' directories: nlohmann-json for the program's --json records and
# the emulator, GoogleTest's sources
# (Debian's googletest package) for the unit tests.
# Only the nlohmann folder is copied: /usr/include itself holds glibc's
# headers, which must not shadow MinGW's.
find_path(QUORVEL_HOST_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH)
if(NOT QUORVEL_HOST_JSON_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
endif()
file(COPY ${QUORVEL_HOST_JSON_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/host-include)
set(QUORVEL_JSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/host-include)
add_library(quorvel_json INTERFACE)
target_include_directories(quorvel_json INTERFACE ${QUORVEL_JSON_INCLUDE_DIR})
set(QUORVEL_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
