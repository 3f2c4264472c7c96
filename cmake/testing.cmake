# Test helpers shared by every test folder.

if(CMAKE_CROSSCOMPILING AND EXISTS /usr/src/googletest/CMakeLists.txt)
  # Debian's googletest sources, built with the cross compiler.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
elseif(MSVC)
  # A Visual Studio machine may have no GoogleTest: Tallybrook.exe still builds. Its runtime is
  # the static one (CMAKE_MSVC_RUNTIME_LIBRARY), so GoogleTest must be too (vcpkg triplet
  # x64-windows-static); a DLL-runtime build fails to link with it.
  find_package(GTest)
  if(NOT GTest_FOUND)
    message(STATUS "GoogleTest not found: building Tallybrook.exe alone, without the tests "
                   "(for them: vcpkg install gtest:x64-windows-static; for the program alone "
                   "without this note: -DTB_TESTS=OFF)")
    set(TB_TESTS OFF)
    return()
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# tb_add_gtest(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s])
# Natively each test case is its own ctest test; under Wine each executable is one ctest
# test, since discovering cases would start Wine at build time.
function(tb_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE TB_CAPTURES_DIR="${TB_CAPTURES_DIR}")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
