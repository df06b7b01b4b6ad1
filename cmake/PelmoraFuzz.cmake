# pz_fuzz_target(NAME <target> SOURCES <files>... [LINK <libraries>...] [INCLUDES <folders>...])
#
# A libFuzzer program, built only with -DPZ_FUZZ=ON in a build folder of its own configured
# with clang (CC=clang CXX=clang++). There every library is compiled with the fuzzer's
# coverage instrumentation and the address and undefined-behaviour sanitizers, so the
# fuzzer is guided by the code it tests. Fuzz programs land in <build>/fuzz/ and the target
# `fuzz` builds them all, so that a script can run each for a bounded time.
option(PZ_FUZZ "Build the libFuzzer targets (a clang build of its own)" OFF)

if(PZ_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PZ_FUZZ needs clang: configure with CC=clang CXX=clang++ in a build folder of its own")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzz)
endif()

function(pz_fuzz_target)
  if(NOT PZ_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LINK;INCLUDES" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LINK})
  target_include_directories(${ARG_NAME} PRIVATE ${ARG_INCLUDES})
  target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzz ${ARG_NAME})
endfunction()
