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
  gtest_discover_tests(${name}
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
