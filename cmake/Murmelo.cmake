# Precompiled headers: the first target of a kind compiles them and every later one of that
# kind reuses its file, since compiling one per target cost more build time than all the
# linking. gcc ignores a precompiled header made with other flags and reads the headers.
# Every such target compiles with -pthread (the program is threaded anyway), since the
# libraries found through pkg-config bring it, and with it a macro the header must agree on.
function(murmelo_shared_pch target kind)
  target_compile_options(${target} PRIVATE -pthread)
  get_property(_owner GLOBAL PROPERTY ${kind})
  if(_owner)
    target_precompile_headers(${target} REUSE_FROM ${_owner})
  else()
    target_precompile_headers(${target} PRIVATE ${ARGN})
    set_property(GLOBAL PROPERTY ${kind} ${target})
  endif()
endfunction()

# CTest runs every unit test program twice in one process, so that a test leaving something
# behind for the next (an installed service, a line logged once, a bus) fails here rather than
# in a later order. The real-desktop runs keep their own command lines.
set(MURMELO_UNIT_TEST_ARGS --gtest_repeat=2)

# A test program builds without optimisation: the tests run for seconds, and the optimiser
# is most of their compile time.
function(murmelo_test_program target)
  target_compile_options(${target} PRIVATE -O0)
  murmelo_shared_pch(${target} MURMELO_TEST_PCH <gtest/gtest.h> <QtCore/QString> <functional>)
endfunction()

# One static library per folder: every .cpp in the folder except *Test.cpp goes into the
# library, every *Test.cpp into one test executable for the folder. Globbing keeps new
# files from needing CMake edits.
function(murmelo_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;TEST_DEPS;INCLUDES" ${ARGN})
  file(GLOB _all CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB _tests CONFIGURE_DEPENDS ${dir}/*Test.cpp)
  set(_src ${_all})
  if(_tests)
    list(REMOVE_ITEM _src ${_tests})
  endif()
  file(GLOB _hdr CONFIGURE_DEPENDS ${dir}/*.h)
  if(NOT _src)
    # A folder whose code has not arrived yet builds nothing.
    return()
  endif()
  add_library(${name} STATIC ${_src} ${_hdr})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  # Under Ninja, moc reruns only when a header it has already seen changes, so a new
  # Q_OBJECT header would get no moc file in an incremental build: when the folder's header
  # list changes, drop the moc step's stamp so that it runs again.
  string(JOIN "\n" _hdr_list ${_hdr})
  set(_hdr_record ${CMAKE_CURRENT_BINARY_DIR}/${name}_headers.txt)
  set(_hdr_old "")
  if(EXISTS ${_hdr_record})
    file(READ ${_hdr_record} _hdr_old)
  endif()
  if(NOT _hdr_old STREQUAL _hdr_list)
    file(WRITE ${_hdr_record} "${_hdr_list}")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
  endif()
  if(ARG_INCLUDES)
    target_include_directories(${name} PUBLIC ${ARG_INCLUDES})
  endif()
  murmelo_shared_pch(${name} MURMELO_LIBRARY_PCH
    <QtCore/QString> <QtCore/QVariant> <QtCore/QDateTime> <functional> <memory> <optional> <vector>)
  if(MURMELO_TESTS AND _tests)
    add_executable(${name}_tests ${_tests})
    target_link_libraries(${name}_tests PRIVATE ${name} murmelo_testsupport ${ARG_TEST_DEPS} GTest::gmock)
    murmelo_test_program(${name}_tests)
    add_test(NAME ${name} COMMAND ${name}_tests ${MURMELO_UNIT_TEST_ARGS})
    # Shuffled, so that a service one test leaves installed shows up as another's failure;
    # the seed is printed at the top of the output.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GTEST_SHUFFLE=1" TIMEOUT 300)
  endif()
endfunction()
