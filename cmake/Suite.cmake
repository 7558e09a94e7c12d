# Shared CMake helpers of the suite.

# Whatever a folder installs without naming a component belongs to the main package (see
# cmake/Package.cmake); only the recorder simulators go to a package of their own.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME programs)

# suite_add_test(NAME <name> LABELS <unit|integration|gui> SOURCES <...> LIBS <...> [SERIAL])
# One GoogleTest executable registered with CTest under its labels. Tests run with the
# program folder as working directory so that data files beside the programs are found.
function(suite_add_test)
  cmake_parse_arguments(T "SERIAL" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KORVEL_AUDIO=null;SUITE_BUILD_DIR=${CMAKE_BINARY_DIR};SUITE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  # A test that measures the machine's time (a load test) runs with nothing beside it.
  if(T_SERIAL)
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
