# Test registration. Unit tests run on the build machine (or under the cross
# build's emulator); system tests run inside the simulated device and exist only
# where the host tools are built.
include(CTest)

if(BUILD_TESTING)
  if(CMAKE_CROSSCOMPILING)
    include(CrossGTest OPTIONAL RESULT_VARIABLE _upg_cross_gtest)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

# upg_add_unit_test(NAME SOURCES src... LIBS lib... [LABELS extra...])
# Builds one gtest binary from the sources and registers each of its tests
# with the label `unit`.
function(upg_add_unit_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name}
    PROPERTIES LABELS "unit;${T_LABELS}"
    DISCOVERY_TIMEOUT 60)
endfunction()
