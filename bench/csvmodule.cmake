# The CSV module's reader: the csvmodule-count tool.
add_executable(csvmodule-count ${CMAKE_CURRENT_SOURCE_DIR}/csvmodule-count.cpp)
target_link_libraries(csvmodule-count PRIVATE CSV)

if(PZ_TESTS)
  add_test(NAME csvmodule-count.counts COMMAND csvmodule-count ${CMAKE_CURRENT_SOURCE_DIR}/testdata/roster-small.csv)
  set_tests_properties(csvmodule-count.counts PROPERTIES PASS_REGULAR_EXPRESSION "^rows=4 fields=7\n$")
  add_test(NAME csvmodule-count.missing-file
    COMMAND sh -c "$<TARGET_FILE:csvmodule-count> ${CMAKE_CURRENT_SOURCE_DIR}/testdata/no-such-file.csv 2>&1; echo exit=$?")
  set_tests_properties(csvmodule-count.missing-file PROPERTIES PASS_REGULAR_EXPRESSION "cannotOpenFile\nexit=1\n$")
endif()
