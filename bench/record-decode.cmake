# The record decoder: a roster decoded into typed records, as a whole process.
add_executable(record-decode ${CMAKE_CURRENT_SOURCE_DIR}/record-decode.cpp)
target_link_libraries(record-decode PRIVATE RecordCSV)
