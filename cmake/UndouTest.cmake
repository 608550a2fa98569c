# undou_add_test(<folder> <unit> LIBS <libraries...> [GUI] [LABELS <labels...>])
# Builds tests/<folder>/tst_<unit>.cpp as one Qt Test program linked with the given libraries and
# registers it with CTest as <folder>.<unit>. Every test runs on Qt's offscreen platform.
function(undou_add_test folder unit)
  cmake_parse_arguments(ARG "GUI" "" "LIBS;LABELS" ${ARGN})
  set(target tst_${folder}_${unit})
  add_executable(${target} tst_${unit}.cpp)
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} test_support Qt6::Test)
  add_test(NAME ${folder}.${unit} COMMAND ${target})
  set_tests_properties(${folder}.${unit} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    LABELS "${folder};${ARG_LABELS}"
    TIMEOUT 300)
endfunction()
