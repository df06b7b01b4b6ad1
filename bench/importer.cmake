# The importers on the roster: a whole import to the finished name list (the live importer and the two
# queued ones), and one export-setting change on a loaded importer. The rosters are made by the generator
# bench/gen_roster.py makes into PZ_ROSTER_DIR (default: the build folder's bench-data). `importer-roster` runs one
# import as a whole process.
add_executable(importer_bench ${CMAKE_CURRENT_LIST_DIR}/importer.cpp)
target_link_libraries(importer_bench PRIVATE Pelmora_Zava benchmark::benchmark)
target_compile_definitions(importer_bench PRIVATE PZ_DEFAULT_ROSTER_DIR="${CMAKE_BINARY_DIR}/bench-data"
                                                   PZ_ROSTER_GENERATOR="${CMAKE_CURRENT_LIST_DIR}/gen_roster.py")

add_executable(importer-roster ${CMAKE_CURRENT_LIST_DIR}/importer_roster.cpp)
target_link_libraries(importer-roster PRIVATE Pelmora_Zava)
