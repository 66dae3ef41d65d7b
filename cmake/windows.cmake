# The Windows zip (cpack -G ZIP): quorvel-dfu.exe, hidapi.dll, the README and
# the licence texts of what is inside, all in one folder, since Windows
# loads DLLs from the program's folder first.

install(TARGETS quorvel-dfu RUNTIME DESTINATION .)
install(FILES ${QUORVEL_HIDAPI_DIR}/bin/hidapi.dll DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
# Licences: hidapi's own files; Debian's copyright files for zlib and for
# the MinGW-w64 runtime (winpthreads) and GCC's runtime libraries, which are
# linked into the program.
file(GLOB QUORVEL_HIDAPI_LICENSES ${QUORVEL_HIDAPI_DIR}/licenses/*)
install(FILES ${QUORVEL_HIDAPI_LICENSES} DESTINATION licenses/hidapi)
foreach(package libz-mingw-w64 mingw-w64-x86-64-dev gcc-mingw-w64-base)
  if(EXISTS /usr/share/doc/${package}/copyright)
    install(FILES /usr/share/doc/${package}/copyright DESTINATION licenses
            RENAME ${package}.txt)
  endif()
endforeach()

set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGE_NAME "quorvel-dfu")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_SYSTEM_NAME "win64")
set(CPACK_PACKAGE_FILE_NAME "quorvel-dfu-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The debugging symbols stay in the build tree.
set(CPACK_STRIP_FILES ON)
include(CPack)
