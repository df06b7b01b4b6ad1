# cmake -DPACKAGE_TREE=<build tree> -DWORK_DIR=<folder> -DCONSUMER_SOURCE_DIR=<this folder>
#       -DREADME=<README.md> -P RunConsumer.cmake
#
# Installs the build tree into a temporary prefix, configures and builds the consumer and the
# README's worked example against it with no flags of their own, and checks what they print
# for small CSV files; then a program that asks for one component, and one that asks for
# components it cannot have.
set(work ${WORK_DIR})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS ${PACKAGE_TREE}/CMakeCache.txt)
  message(FATAL_ERROR "${PACKAGE_TREE} is not a build tree: configure and build it first")
endif()
run(${CMAKE_COMMAND} --install ${PACKAGE_TREE} --prefix ${work}/prefix)

# The example is the code block between the README's markers, so that the two cannot drift.
file(READ ${README} readme)
if(NOT readme MATCHES "<!-- example:begin -->[^`]*```cpp\n(.*)```[ \n]*<!-- example:end -->")
  message(FATAL_ERROR "${README} has no C++ block between <!-- example:begin --> and <!-- example:end -->")
endif()
file(WRITE ${work}/example.cpp "${CMAKE_MATCH_1}")

run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${work}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${work}/prefix -DCMAKE_BUILD_TYPE=Debug -DEXAMPLE_SOURCE=${work}/example.cpp)
run(${CMAKE_COMMAND} --build ${work}/build)

file(WRITE ${work}/names.csv "name,size\n\"a, b.jpg\",12\nc.jpg,7\n")
run(${work}/build/consumer ${work}/names.csv)
set(expected "name|size\na, b.jpg|12\nc.jpg|7\nform: Send\n")
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "The consumer printed:\n${output}\nexpected:\n${expected}")
endif()

# The example reads a spreadsheet export (CR LF, a header row, a quoted comma), and keeps its
# setting in its own folder, not the command's; the second run reads what the first stored.
file(WRITE ${work}/grades.csv "Name,Grade\r\n\"Lovelace, Ada\",4\r\nBo,5\r\n")
foreach(before none grades.csv)
  run(${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${work}/config ${work}/build/readme-example ${work}/grades.csv)
  set(expected "Lovelace, Ada: 4\nBo: 5\nread before: ${before}\n")
  if(NOT output STREQUAL expected)
    message(FATAL_ERROR "The README's example printed:\n${output}\nexpected:\n${expected}")
  endif()
endforeach()
if(NOT EXISTS ${work}/config/grades/grades.plist OR EXISTS ${work}/config/pelmora-zava)
  message(FATAL_ERROR "The README's example did not keep its setting in ${work}/config/grades/grades.plist alone")
endif()

# A program that asks for one component gets it without the others' third-party packages.
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR}/records -B ${work}/records -G Ninja
    -DCMAKE_PREFIX_PATH=${work}/prefix -DCMAKE_BUILD_TYPE=Debug)
run(${CMAKE_COMMAND} --build ${work}/records)
run(${work}/records/records-consumer ${work}/names.csv)
if(NOT output STREQUAL "records=3 fields=6\n")
  message(FATAL_ERROR "The records consumer printed:\n${output}")
endif()

# Components that are unknown, or whose packages are missing, are named with the reason.
file(WRITE ${work}/refused/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\nproject(refused LANGUAGES CXX)\n"
  "find_package(PelmoraZava CONFIG REQUIRED COMPONENTS RecordCSV Spreadsheet TimeSeries)\n")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${work}/refused -B ${work}/refused/build -G Ninja
                        -DCMAKE_PREFIX_PATH=${work}/prefix -DCMAKE_DISABLE_FIND_PACKAGE_CURL=ON
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(REGEX REPLACE "[ \n]+" " " output "${output}")  # CMake wraps the reason
foreach(reason "Spreadsheet is no component of this package \\(it has [^)]*RecordCSV"
               "TimeSeries needs CURL::libcurl, which could not be found")
  if(result EQUAL 0 OR NOT output MATCHES "${reason}")
    message(FATAL_ERROR "Asking for missing components (${result}) did not say \"${reason}\":\n${output}")
  endif()
endforeach()

# Nothing may clash with another package in a shared prefix.
file(GLOB_RECURSE installed RELATIVE ${work}/prefix ${work}/prefix/*)
foreach(path IN LISTS installed)
  if(NOT path MATCHES "^(bin/pelmora-zava|include/pelmora-zava/|lib[^/]*/(libpelmora-zava-[^/]+\\.a|cmake/PelmoraZava/)|share/pelmora-zava/)")
    message(FATAL_ERROR "${path} is installed outside the project's own names")
  endif()
endforeach()
if(NOT EXISTS ${work}/prefix/bin/pelmora-zava)
  message(FATAL_ERROR "pelmora-zava was not installed to bin/")
endif()
