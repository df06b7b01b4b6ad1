# Writing the 60 MB roster back out, next to reading it; script/bench runs it with PZ_ROSTER set.
add_executable(csv-writer-roster ${CMAKE_CURRENT_LIST_DIR}/CSVWriterBench.cpp)
target_link_libraries(csv-writer-roster PRIVATE RecordCSV benchmark::benchmark)
