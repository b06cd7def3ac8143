# Helpers shared by every subsystem's CMakeLists.

# krv_expose(TARGET SUBSYSTEM [HEADERS a.h tests/b.h ...])
# Headers are included as "subsystem/file.h", and there is no global include
# path: a target reaches a subsystem's headers only through a library that
# exposes them, so it includes only what it links. TARGET gets every header
# of SUBSYSTEM; whatever links TARGET gets every header too, or, with
# HEADERS, only those (where one folder holds several libraries, e.g. the
# problem-file codec beside the whole sequencer). The include roots are
# folders in the build holding symbolic links to the sources.
function(krv_expose target subsystem)
  cmake_parse_arguments(ARG "" "" "HEADERS" ${ARGN})
  get_target_property(type ${target} TYPE)
  # all_root holds every header of the subsystem, chosen_root only those
  # named by HEADERS; each scope says who gets that root: TARGET alone,
  # whatever links it, or both.
  set(all_root ${CMAKE_BINARY_DIR}/include/all/${subsystem})
  if(NOT EXISTS ${all_root}/${subsystem})
    file(MAKE_DIRECTORY ${all_root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${subsystem} ${all_root}/${subsystem} SYMBOLIC)
  endif()
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(all_scope INTERFACE)
    set(chosen_scope INTERFACE)
  elseif(ARG_HEADERS)
    set(all_scope PRIVATE)
    set(chosen_scope INTERFACE)
  else()
    set(all_scope PUBLIC)
  endif()
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} ${all_scope} ${all_root})
  endif()
  if(ARG_HEADERS)
    set(chosen_root ${CMAKE_BINARY_DIR}/include/${target})
    file(REMOVE_RECURSE ${chosen_root})
    foreach(h ${ARG_HEADERS})
      if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${subsystem}/${h})
        message(FATAL_ERROR "krv_expose(${target}): no header ${subsystem}/${h}")
      endif()
      get_filename_component(dir ${chosen_root}/${subsystem}/${h} DIRECTORY)
      file(MAKE_DIRECTORY ${dir})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${subsystem}/${h} ${chosen_root}/${subsystem}/${h} SYMBOLIC)
    endforeach()
    target_include_directories(${target} ${chosen_scope} ${chosen_root})
  endif()
endfunction()

# krv_check_targets()
# Called once the whole tree has been read. moc runs only on Qt targets:
# every target that links Qt itself gets AUTOMOC, no other does. A krv_ or
# Qt6 name linked that is not a target fails the configuration here rather
# than as "-lkrv_..." at link time (a library left out by an option).
function(krv_check_targets)
  set(dirs ${CMAKE_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${targets})
      get_target_property(type ${t} TYPE)
      set(links "")
      foreach(p LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(l ${t} ${p})
        if(l)
          list(APPEND links ${l})
        endif()
      endforeach()
      set(qt OFF)
      foreach(l ${links})
        if(l MATCHES "^(krv_|Qt6::)" AND NOT TARGET ${l})
          message(FATAL_ERROR "${t} links ${l}, which is not a target")
        endif()
        if(l MATCHES "^Qt6::")
          set(qt ON)
        endif()
      endforeach()
      if(NOT type STREQUAL "INTERFACE_LIBRARY" AND NOT type STREQUAL "UTILITY")
        set_target_properties(${t} PROPERTIES AUTOMOC ${qt})
      endif()
    endforeach()
  endwhile()
endfunction()

# krv_add_tests()
# The calling subsystem's tests folder, unless BUILD_TESTING is OFF (then
# no test, test helper or GoogleTest is needed).
macro(krv_add_tests)
  if(BUILD_TESTING)
    add_subdirectory(tests)
  endif()
endmacro()

# krv_add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [PROPERTIES name value ...])
# A GoogleTest executable whose cases CTest lists one by one; PROPERTIES
# are set on each case.
function(krv_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    KRV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KRV_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  # Every parameterised row is named, so its CTest name is the row's name
  # and not the raw bytes of its parameter.
  gtest_discover_tests(${name}
    NO_PRETTY_VALUES
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${ARG_PROPERTIES}
    DISCOVERY_TIMEOUT 60)
endfunction()

# krv_add_qttest(NAME SOURCES a.cpp LIBS lib1)
# A Qt Test executable driving a window offscreen; only built with Qt. It
# links the helpers that answer modal windows (testing/qt_test_helpers.h).
function(krv_add_qttest name)
  if(NOT KRV_WITH_QT)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} krv_qt_test_helpers Qt6::Test Qt6::Widgets)
  target_compile_definitions(${name} PRIVATE
    KRV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KRV_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# krv_add_real_input_test(NAME SOURCES a.cpp LIBS lib1 [TIMEOUT seconds])
# A GoogleTest executable whose cases run programs in real windows
# (testing/x_session.h); only built with Qt. Each case gets its own display,
# so they run in parallel; they carry the label real-input
# (`ctest -L real-input`) and a timeout of their own (default 120 s).
# Screenshots of failures go to <build>/real-input-screens.
function(krv_add_real_input_test name)
  if(NOT KRV_WITH_QT)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  krv_add_gtest(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} krv_real_input_forms
    PROPERTIES
      ENVIRONMENT_MODIFICATION KRV_SCREENSHOT_DIR=set:${CMAKE_BINARY_DIR}/real-input-screens
      LABELS real-input
      TIMEOUT ${ARG_TIMEOUT})
endfunction()

# krv_add_fuzzer(NAME SOURCES a.cpp LIBS lib1 [MAX_LEN bytes])
# A libFuzzer target fuzz_NAME in <build>/fuzz; its seeds are kept in the
# repository in fuzz/seeds/NAME. MAX_LEN lets inputs grow as large as the
# format allows where size matters; `make fuzz` reads it from
# <build>/fuzz/fuzz_NAME.args.
function(krv_add_fuzzer name)
  cmake_parse_arguments(ARG "" "MAX_LEN" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  # The targets check what they read with assert: the NDEBUG of an
  # optimised build must not turn those checks off.
  target_compile_options(fuzz_${name} PRIVATE -UNDEBUG)
  krv_expose(fuzz_${name} fuzz)  # the targets' shared helpers
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set(args "")
  if(ARG_MAX_LEN)
    set(args "-max_len=${ARG_MAX_LEN}")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz/fuzz_${name}.args "${args}\n")
endfunction()

# krv_add_bench(NAME SOURCES a.cpp LIBS lib1)
# A benchmark program bench_NAME in <build>/bench that prints its figures,
# and the CTest entry Bench.NAME that runs it once with --tiny.
function(krv_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_LIBS} krv_testing)
  krv_expose(bench_${name} bench)
  set_target_properties(bench_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_test(NAME Bench.${name} COMMAND bench_${name} --tiny)
endfunction()
