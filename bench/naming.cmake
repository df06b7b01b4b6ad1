# Natural-order sorting and clean-up of a name list (the importer re-runs both on every settings change).
# Run with PZ_ROSTER pointing at a roster CSV that has "Filename", "First Name" and "Last Name" columns.
add_executable(naming_bench ${CMAKE_CURRENT_LIST_DIR}/naming.cpp)
target_link_libraries(naming_bench PRIVATE Ravelin QVExtensions benchmark::benchmark)
