# The tests of the Windows build, cross-compiled with mingw-w64 and run under Wine
# (tools/build-windows.sh). Debian has no GoogleTest for mingw: it is built here from
# Debian's googletest sources with the same toolchain.
set(VPAK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian: googletest)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${VPAK_GTEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The support tests whose code has its Windows side already: the platform seams (sorting,
# SHA-1, CRC-32, inflating) and what stands on zlib alone.
set(VPAK_WINDOWS_TESTS
    support/collation_test.cpp
    support/collation_order_test.cpp
    support/crc32_test.cpp
    support/fast_inflate_test.cpp
    support/sha1_test.cpp
    support/stream_inflate_test.cpp
    support/windows_names_test.cpp
    support/zlib_adapter_test.cpp
    windows/collation_word_sort_test.cpp
    windows/host_entries_test.cpp
    windows/host_errors_test.cpp
    windows/host_file_test.cpp
    windows/host_names_test.cpp
    windows/host_output_test.cpp
    windows/host_paths_test.cpp
    helpers/allocation_probe.cpp
    helpers/random_bytes.cpp)
add_executable(vpak_windows_tests ${VPAK_WINDOWS_TESTS})
target_include_directories(vpak_windows_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vpak_windows_tests PRIVATE vpak_support vpak_host_hooks_off gtest_main ZLIB::ZLIB)
# ctest runs it through CMAKE_CROSSCOMPILING_EMULATOR (Wine), in the build's own prefix so
# that no user's Wine set-up is touched.
add_test(NAME WindowsSupportTests COMMAND vpak_windows_tests)
set_tests_properties(WindowsSupportTests PROPERTIES TIMEOUT 300
                     ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all")
