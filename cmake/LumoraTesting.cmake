# lumora_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One test program per subsystem; ctest runs each program once, GoogleTest reports its cases.
function(lumora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VEXLINK_DEVICES=;VEXLINK_NO_HID=1;LUMORA_TRACE=0"
    TIMEOUT 600)
endfunction()
