# The CSV reader: the recordcsv-count tool and the parse-loop benchmarks.
find_package(CLI11 REQUIRED)
find_package(nlohmann_json REQUIRED)

add_executable(recordcsv-count ${CMAKE_CURRENT_SOURCE_DIR}/recordcsv-count.cpp)
target_link_libraries(recordcsv-count PRIVATE RecordCSV CLI11::CLI11 nlohmann_json::nlohmann_json)

add_executable(recordcsv_bench ${CMAKE_CURRENT_SOURCE_DIR}/recordcsv_bench.cpp)
target_link_libraries(recordcsv_bench PRIVATE RecordCSV benchmark::benchmark benchmark::benchmark_main)

if(PZ_TESTS)
  set(data ${CMAKE_CURRENT_SOURCE_DIR}/testdata)
  add_test(NAME recordcsv-count.counts COMMAND recordcsv-count ${data}/roster-small.csv)
  set_tests_properties(recordcsv-count.counts PROPERTIES PASS_REGULAR_EXPRESSION "^rows=2 fields=4\n$")
  add_test(NAME recordcsv-count.json COMMAND recordcsv-count --json ${data}/roster-small.csv)
  set_tests_properties(recordcsv-count.json PROPERTIES
    PASS_REGULAR_EXPRESSION "^\\[\"name\",\"size\"\\]\n\\[\"a, b.jpg\",\"12\"\\]\n\\[\"c.jpg\",\"7\"\\]\n$")
  add_test(NAME recordcsv-count.no-header COMMAND recordcsv-count --header none --delimiter . ${data}/roster-small.csv)
  set_tests_properties(recordcsv-count.no-header PROPERTIES WILL_FAIL TRUE)
  add_test(NAME recordcsv-count.rows COMMAND recordcsv-count --rows ${data}/roster-small.csv)
  set_tests_properties(recordcsv-count.rows PROPERTIES PASS_REGULAR_EXPRESSION "^rows=2 fields=4\n$")
  add_test(NAME recordcsv-count.rows-json COMMAND recordcsv-count --rows --stream --json ${data}/roster-small.csv)
  set_tests_properties(recordcsv-count.rows-json PROPERTIES
    PASS_REGULAR_EXPRESSION "^\\[\"name\",\"size\"\\]\n\\[\"a, b.jpg\",\"12\"\\]\n\\[\"c.jpg\",\"7\"\\]\n$")
  add_test(NAME recordcsv-count.stream COMMAND recordcsv-count --stream ${data}/roster-small.csv)
  set_tests_properties(recordcsv-count.stream PROPERTIES PASS_REGULAR_EXPRESSION "^rows=2 fields=4\n$")
  add_test(NAME recordcsv-count.standard-input
    COMMAND sh -c "$<TARGET_FILE:recordcsv-count> --json - < ${data}/roster-small.csv")
  set_tests_properties(recordcsv-count.standard-input PROPERTIES
    PASS_REGULAR_EXPRESSION "^\\[\"name\",\"size\"\\]\n\\[\"a, b.jpg\",\"12\"\\]\n\\[\"c.jpg\",\"7\"\\]\n$")
  add_test(NAME recordcsv-count.stream-failure
    COMMAND sh -c "$<TARGET_FILE:recordcsv-count> --stream ${data}/no-such-file.csv 2>&1; echo exit=$?")
  set_tests_properties(recordcsv-count.stream-failure PROPERTIES PASS_REGULAR_EXPRESSION
    "^The input stream encountered an error while trying to read the first bytes.\nReview the internal error and make sure you have access to the input data.\nexit=1\n$")
  add_test(NAME recordcsv-count.failure
    COMMAND sh -c "$<TARGET_FILE:recordcsv-count> ${data}/duplicate-headers.csv 2>&1; echo exit=$?")
  set_tests_properties(recordcsv-count.failure PROPERTIES PASS_REGULAR_EXPRESSION
    "^The header row contain two fields with the same value.\nRequest a row instead of a record.\nexit=1\n$")
  if(CMAKE_GENERATOR STREQUAL "Ninja")
    # Reading a CSV file must not drag in the settings database's XML, archive or UUID
    # libraries, nor the HTTP transport's; the linker would drop them silently, so the link
    # line itself is checked.
    add_test(NAME recordcsv-count.links-light
      COMMAND sh -c "${CMAKE_MAKE_PROGRAM} -C ${CMAKE_BINARY_DIR} -t commands recordcsv-count | tail -n 1 | grep -Eq 'plist|pugixml|uuid|curl' && exit 1 || exit 0")
  endif()
endif()
