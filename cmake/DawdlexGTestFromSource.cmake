# GoogleTest and GoogleMock built from Debian's sources (libgtest-dev, libgmock-dev ship them under
# /usr/src/googletest) for builds that cannot use the installed host libraries, such as the Windows cross
# builds. Provides the same GTest:: targets that find_package(GTest) does; downloads nothing.
include_guard(GLOBAL)

set(DAWDLEX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build when cross-compiling")
if(NOT EXISTS ${DAWDLEX_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${DAWDLEX_GTEST_SOURCE_DIR}: install libgtest-dev and libgmock-dev")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${DAWDLEX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

foreach(lib IN ITEMS gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# Listing the tests at build time would mean running Windows programs during the build; list them when
# ctest runs instead, where the emulator (Wine) is expected.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
