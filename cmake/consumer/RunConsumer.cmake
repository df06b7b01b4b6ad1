# cmake -DBINARY_DIR=<build> -DCONSUMER_SOURCE_DIR=<this folder> [-DCXX_FLAGS=...] -P RunConsumer.cmake
#
# Installs the build into a temporary prefix, configures and builds the consumer against
# it, and checks what the consumer prints for a small CSV file.
set(work ${BINARY_DIR}/package-consumer)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${work}/prefix)
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${work}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${work}/prefix -DCMAKE_BUILD_TYPE=Debug
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build ${work}/build)

file(WRITE ${work}/names.csv "name,size\n\"a, b.jpg\",12\nc.jpg,7\n")
run(${work}/build/consumer ${work}/names.csv)
set(expected "name|size\na, b.jpg|12\nc.jpg|7\n")
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "The consumer printed:\n${output}\nexpected:\n${expected}")
endif()
if(NOT EXISTS ${work}/prefix/bin/pelmora-zava)
  message(FATAL_ERROR "pelmora-zava was not installed to bin/")
endif()
