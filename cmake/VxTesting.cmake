# Test helpers shared by every folder.
#
#   vx_add_gtest(NAME name SOURCES a.cpp ... [LIBS lib ...] [HOST_ONLY] [WIN32_ONLY])
#
# Host: one CTest test per TEST() (gtest_discover_tests). Windows: one CTest test per
# executable, run under Wine through the cross-compiling emulator (each wine start
# costs a second, so per-case tests would be slow), in the build folder's own prefix.
#
# Tests of a Windows build that check its files without running them carry the label
# "static": a machine that cannot run the build's architecture under Wine still runs
# those (`ctest --preset win32 -L static`); every other test runs Windows code.

set(VX_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  add_subdirectory(${VX_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
include(GoogleTest)

if(WIN32)
  # Every Windows test runs under Wine in a prefix that belongs to this build folder,
  # with the Wine of the build's architecture (testing/wine-env.sh reads wine-arch).
  # VX_PE_MACHINE: the machine the build's images are for, as the static checks name it.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VX_WINEARCH win64)
    set(VX_PE_MACHINE amd64)
  else()
    set(VX_WINEARCH win32)
    set(VX_PE_MACHINE i386)
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/wine-arch "${VX_WINEARCH}\n")
  set(VX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_SOURCE_DIR}/testing/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  add_test(NAME wine_prefix_setup
           COMMAND ${CMAKE_SOURCE_DIR}/testing/wine-prefix.sh ${VX_WINEARCH} ${VX_WINEPREFIX})
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP WinePrefix TIMEOUT 300)
endif()

function(vx_add_gtest)
  cmake_parse_arguments(T "HOST_ONLY;WIN32_ONLY" "NAME" "SOURCES;LIBS" ${ARGN})
  if(T_HOST_ONLY AND WIN32)
    return()
  endif()
  if(T_WIN32_ONLY AND NOT WIN32)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VX_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(WIN32)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED WinePrefix TIMEOUT 600)
  else()
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
