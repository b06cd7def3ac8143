# Helpers shared by every subsystem's CMakeLists.

# krv_add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# A GoogleTest executable whose cases CTest lists one by one.
function(krv_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
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
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# krv_add_qttest(NAME SOURCES a.cpp LIBS lib1)
# A Qt Test executable driving a window offscreen; only built with Qt.
function(krv_add_qttest name)
  if(NOT KRV_WITH_QT)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test Qt6::Widgets)
  target_compile_definitions(${name} PRIVATE
    KRV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KRV_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
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
  set_target_properties(bench_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_test(NAME Bench.${name} COMMAND bench_${name} --tiny)
endfunction()
