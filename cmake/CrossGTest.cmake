# GoogleTest for the device build: compiled for the target from Debian's
# sources (package googletest, /usr/src/googletest) inside the cross build, and
# offered under the names find_package(GTest) gives a host build:
# GTest::gtest, GTest::gtest_main, GTest::gmock, GTest::gmock_main.
# Included by Testing.cmake when cross compiling.
set(UPG_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
if(NOT EXISTS ${UPG_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${UPG_GTEST_SOURCE_DIR} "
                      "(install the Debian package googletest: scripts/setup)")
endif()

if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  # GoogleTest is third-party code: it builds with its own flags, not with the
  # project's warning set and -Werror.
  get_directory_property(_upg_saved_compile_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  add_subdirectory(${UPG_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_upg_saved_compile_options}")
  unset(_upg_saved_compile_options)
endif()

foreach(_upg_lib gtest gtest_main gmock gmock_main)
  if(TARGET ${_upg_lib} AND NOT TARGET GTest::${_upg_lib})
    add_library(GTest::${_upg_lib} ALIAS ${_upg_lib})
  endif()
endforeach()
unset(_upg_lib)
