# The process runner: qvx-run runs a command and prints the byte counts it captured.
add_executable(qvx-run ${CMAKE_CURRENT_SOURCE_DIR}/qvx-run.cpp)
target_link_libraries(qvx-run PRIVATE QVExtensionsSystem)
