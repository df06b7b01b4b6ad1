# cmake -DPACKAGE_TREE=<build tree> -DWORK_DIR=<folder> -DCONSUMER_SOURCE_DIR=<this folder> -P RunConsumer.cmake
#
# Installs the build tree into a temporary prefix, configures and builds the consumer
# against it with no flags of its own, and checks what the consumer prints for a small CSV file.
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
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${work}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${work}/prefix -DCMAKE_BUILD_TYPE=Debug)
run(${CMAKE_COMMAND} --build ${work}/build)

file(WRITE ${work}/names.csv "name,size\n\"a, b.jpg\",12\nc.jpg,7\n")
run(${work}/build/consumer ${work}/names.csv)
set(expected "name|size\na, b.jpg|12\nc.jpg|7\nform: Send\n")
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "The consumer printed:\n${output}\nexpected:\n${expected}")
endif()

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
