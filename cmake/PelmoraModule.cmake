# pz_module(NAME <library> [DEPENDS <libraries>...] [PACKAGES <imported targets>...]
#           [TEST_PACKAGES <targets>...] [THREADED_TESTS <gtest filter patterns>...]
#           [TEST_TIMEOUT <seconds>])
#
# Declares the module in the current folder: a static library from src/*.cpp (an
# interface library when src/ holds none) with include/ as its public headers, installed
# with the PelmoraZava package (headers under include/pelmora-zava/, the library as
# libpelmora-zava-<library>.a, so that nothing clashes in a shared prefix), and, when
# tests/ exists, one GoogleTest binary from tests/*.cpp whose cases are registered with
# CTest one by one. TEST_PACKAGES are linked into the tests alone. THREADED_TESTS names the
# cases whose code starts a thread ("*": all of them); they carry the CTest label `threads`,
# which the ThreadSanitizer tree runs (ctest -L threads). Each case is registered once. CTest
# ends a case that runs longer than TEST_TIMEOUT seconds (default PZ_TEST_TIMEOUT).
#
# Each module is a component of the installed package, with a targets file of its own; its
# DEPENDS and PACKAGES are recorded for pz_write_package_components().
include(GNUInstallDirs)
set(PZ_PACKAGE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PelmoraZava)

# One guard against hangs for every test, never a speed check: long enough that only a hang reaches
# it, even for the slowest case in the sanitizer trees on a machine busy with other work.
set(PZ_TEST_TIMEOUT 1500 CACHE STRING "Seconds CTest gives a test that sets no limit of its own")

function(pz_module)
  cmake_parse_arguments(ARG "" "NAME;TEST_TIMEOUT" "DEPENDS;PACKAGES;TEST_PACKAGES;THREADED_TESTS" ${ARGN})
  if(NOT ARG_TEST_TIMEOUT)
    set(ARG_TEST_TIMEOUT ${PZ_TEST_TIMEOUT})
  endif()
  # The installed package finds a component's packages by these rules; a target without one
  # would fail only in a user's project.
  foreach(package IN LISTS ARG_PACKAGES)
    if(NOT package IN_LIST PelmoraZava_THIRD_PARTY_TARGETS)
      message(FATAL_ERROR "pz_module(${ARG_NAME}): ${package} is not in PelmoraZava_THIRD_PARTY_TARGETS "
                          "(cmake/PelmoraZavaDependencies.cmake), which the installed package finds")
    endif()
  endforeach()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  set(installed_headers ${CMAKE_INSTALL_INCLUDEDIR}/pelmora-zava)
  set(headers $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${installed_headers}>)
  if(sources)
    add_library(${ARG_NAME} STATIC ${sources})
    set_target_properties(${ARG_NAME} PROPERTIES OUTPUT_NAME pelmora-zava-${ARG_NAME})
    target_include_directories(${ARG_NAME} PUBLIC ${headers} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPENDS} ${ARG_PACKAGES})
    # The headers need C++20, so every program that includes them gets it, whatever it sets itself.
    target_compile_features(${ARG_NAME} PUBLIC cxx_std_20)
  else()
    add_library(${ARG_NAME} INTERFACE)
    target_include_directories(${ARG_NAME} INTERFACE ${headers})
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPENDS} ${ARG_PACKAGES})
    target_compile_features(${ARG_NAME} INTERFACE cxx_std_20)
  endif()
  add_library(PelmoraZava::${ARG_NAME} ALIAS ${ARG_NAME})

  install(TARGETS ${ARG_NAME} EXPORT PelmoraZava-${ARG_NAME}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(EXPORT PelmoraZava-${ARG_NAME} NAMESPACE PelmoraZava:: DESTINATION ${PZ_PACKAGE_INSTALL_DIR}
    FILE PelmoraZava-${ARG_NAME}-targets.cmake)
  set_property(GLOBAL APPEND PROPERTY PZ_PACKAGE_COMPONENTS ${ARG_NAME})
  list(JOIN ARG_DEPENDS " " depends)
  list(JOIN ARG_PACKAGES " " packages)
  set_property(GLOBAL APPEND_STRING PROPERTY PZ_PACKAGE_COMPONENT_LINKS
    "set(PelmoraZava_${ARG_NAME}_DEPENDS ${depends})\nset(PelmoraZava_${ARG_NAME}_PACKAGES ${packages})\n")
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/include/ DESTINATION ${installed_headers})
  endif()

  if(PZ_TESTS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
    if(test_sources)
      add_executable(${ARG_NAME}_tests ${test_sources})
      target_include_directories(${ARG_NAME}_tests PRIVATE
        ${CMAKE_CURRENT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR}/tests)
      target_link_libraries(${ARG_NAME}_tests PRIVATE ${ARG_NAME} ${ARG_TEST_PACKAGES}
        GTest::gmock GTest::gtest GTest::gtest_main)
      # Tests that run built tools or read bundled files find them through these.
      target_compile_definitions(${ARG_NAME}_tests PRIVATE
        PZ_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PZ_BINARY_DIR="${CMAKE_BINARY_DIR}")
      # Listing the cases starts a sanitizer binary, which a busy machine may hold up for longer
      # than discovery's default of 5 seconds: that bound too guards only against a hang.
      set(discovery DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${ARG_TEST_TIMEOUT}
          WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/tests)
      list(JOIN ARG_THREADED_TESTS ":" threaded)
      if(NOT threaded)
        gtest_discover_tests(${ARG_NAME}_tests ${discovery} PROPERTIES TIMEOUT ${ARG_TEST_TIMEOUT})
      else()
        # Two discoveries that split the cases: the filter and its negation.
        if(NOT threaded STREQUAL "*")
          gtest_discover_tests(${ARG_NAME}_tests ${discovery} TEST_FILTER "-${threaded}"
            PROPERTIES TIMEOUT ${ARG_TEST_TIMEOUT})
        endif()
        set(threaded_properties LABELS threads TIMEOUT ${ARG_TEST_TIMEOUT})
        if(PZ_TSAN)
          list(APPEND threaded_properties ENVIRONMENT_MODIFICATION
               "TSAN_OPTIONS=string_append: suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")
        endif()
        gtest_discover_tests(${ARG_NAME}_tests ${discovery} TEST_FILTER "${threaded}"
          PROPERTIES ${threaded_properties})
      endif()
    endif()
  endif()
endfunction()

# pz_default_test_timeout()
#
# Gives each test that the calling folder registered with add_test and that sets no TIMEOUT of
# its own the default one, PZ_TEST_TIMEOUT. Called once the folder's tests are all added.
function(pz_default_test_timeout)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} TIMEOUT timeout)
    if(NOT timeout)
      set_tests_properties(${test} PROPERTIES TIMEOUT ${PZ_TEST_TIMEOUT})
    endif()
  endforeach()
endfunction()

# pz_write_package_components(<file>)
#
# Writes what the package's config reads to find components: PelmoraZava_COMPONENTS, and each
# one's modules (PelmoraZava_<component>_DEPENDS) and third-party targets (_PACKAGES).
function(pz_write_package_components file)
  get_property(components GLOBAL PROPERTY PZ_PACKAGE_COMPONENTS)
  get_property(links GLOBAL PROPERTY PZ_PACKAGE_COMPONENT_LINKS)
  list(JOIN components " " components)
  file(CONFIGURE OUTPUT ${file} CONTENT "set(PelmoraZava_COMPONENTS ${components})\n${links}" @ONLY)
endfunction()
