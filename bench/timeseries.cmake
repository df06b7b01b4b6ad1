# The time-series client's annotated CSV parser: the timeseries-parse tool.
add_executable(timeseries-parse ${CMAKE_CURRENT_SOURCE_DIR}/timeseries-parse.cpp)
target_link_libraries(timeseries-parse PRIVATE TimeSeries platform_io)

if(PZ_TESTS)
  add_test(NAME timeseries-parse.counts COMMAND timeseries-parse ${CMAKE_CURRENT_SOURCE_DIR}/testdata/annotated-small.csv)
  set_tests_properties(timeseries-parse.counts PROPERTIES PASS_REGULAR_EXPRESSION "^records=3\n$")
endif()
