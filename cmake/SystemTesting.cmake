# System tests: gtest binaries that run on the host and drive the simulated
# device (devsim) through the harness library `devsim_harness`.
#
# upg_add_system_test(NAME SOURCES src... [LIBS lib...] [DEPENDS target...])
#   Builds one gtest binary linked with devsim_harness and GTest, makes it
#   depend on devsim (and on the DEPENDS targets, e.g. `upgrader` or a probe
#   executable that the test runs inside the device) and registers each of its
#   tests with the label `system`. Runs may go in parallel: every run has its
#   own namespaces and work directory.
#
# Only host builds get the function; modules guard their use with
# `if(COMMAND upg_add_system_test)`.
if(CMAKE_CROSSCOMPILING)
  return()
endif()

function(_upg_system_test_depends name)
  foreach(dep IN LISTS ARGN)
    if(TARGET ${dep})
      add_dependencies(${name} ${dep})
    else()
      message(STATUS "system test ${name}: target ${dep} does not exist (yet)")
    endif()
  endforeach()
endfunction()

function(upg_add_system_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} devsim_harness
                        GTest::gtest GTest::gtest_main Threads::Threads)
  # devsim and the DEPENDS targets may be defined later in the configure run:
  # the dependencies are added once the whole tree has been read.
  # (The arguments of a deferred call are read when it runs: EVAL bakes the
  # values in now.)
  set(deps devsim devsim_shim devsim_reboot ${T_DEPENDS})
  list(JOIN deps " " deps)
  cmake_language(EVAL CODE
    "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL _upg_system_test_depends [[${name}]] ${deps})")
  gtest_discover_tests(${name}
    PROPERTIES LABELS "system" TIMEOUT 300
    DISCOVERY_TIMEOUT 60)
endfunction()
