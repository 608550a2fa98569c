# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# undou_add_test(<folder> <unit> LIBS <libraries...> [GUI] [LABELS <labels...>])
# Builds tests/<folder>/tst_<unit>.cpp as one Qt Test program linked with the given libraries and
# registers it with CTest as <folder>.<unit>. Every test runs on Qt's offscreen platform. Built for
# Windows on Linux, the tests run under Wine (see the top-level CMakeLists.txt), which hands no QT_*
# variable to the program: a test with a QApplication is told its platform on the command line.
function(undou_add_test folder unit)
  cmake_parse_arguments(ARG "GUI" "" "LIBS;LABELS" ${ARGN})
  set(target tst_${folder}_${unit})
  add_executable(${target} tst_${unit}.cpp)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} test_support Qt6::Test)
  set(arguments)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    file(STRINGS tst_${unit}.cpp application_main REGEX "^QTEST_MAIN\\(|QApplication app\\(")
    if(application_main)
      set(arguments -platform offscreen)
    endif()
  endif()
  add_test(NAME ${folder}.${unit} COMMAND ${target} ${arguments})
  set_tests_properties(${folder}.${unit} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${UNDOU_TEST_ENVIRONMENT}"
    LABELS "${folder};${ARG_LABELS}"
    TIMEOUT 300)
endfunction()
