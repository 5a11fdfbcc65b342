# Helpers shared by every area of the tree, so that an area's CMakeLists.txt stays a line or two.

set(PLOVER_WARNINGS -Wall -Wextra -Werror)
# GCC 12 reports std::string inserts as overlapping memcpy at high optimisation (a known false
# alarm of its -Wrestrict); it would break optimised builds on correct code.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND PLOVER_WARNINGS -Wno-restrict)
endif()

# plover_library(NAME [DEPS lib...]): every .cpp of the calling folder becomes the static
# library plover_NAME; headers are included as "area/file.h" from src/.
function(plover_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(plover_${name} STATIC ${sources})
  target_include_directories(plover_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(plover_${name} PRIVATE ${PLOVER_WARNINGS})
  target_link_libraries(plover_${name} PUBLIC ${ARG_DEPS} Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY PLOVER_LIBRARIES plover_${name})
endfunction()

# lazy_soname(VAR LIBRARY): the versioned file name (libfoo.so.N) of the library file LIBRARY, for
# a library the program opens on first use.
function(lazy_soname var library)
  get_filename_component(real ${library} REALPATH)
  get_filename_component(name ${real} NAME)
  if(NOT name MATCHES "^(lib[A-Za-z0-9_+-]+\\.so\\.[0-9]+)")
    message(FATAL_ERROR "cannot tell the versioned name of ${real}")
  endif()
  set(${var} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

# plover_test(NAME [DEPS lib...]): every .cpp of the calling folder becomes one GoogleTest binary.
function(plover_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  # The tests' own code is compiled unoptimised under the sanitizers: it halves their build, and
  # the code under test keeps its optimised, instrumented build.
  target_compile_options(${name} PRIVATE ${PLOVER_WARNINGS} $<$<CONFIG:Asan>:-O0>)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} plover_testutil GTest::gtest GTest::gtest_main)
  # The binary's name is each test's label, so a run can pick whole areas (ctest -L net_tests).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${name} ENVIRONMENT "PLOVER_SOURCE_DIR=${PROJECT_SOURCE_DIR};PLOVER_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# plover_fuzzer(NAME SOURCE [DEPS lib...]): a libFuzzer target in the fuzz build. In the test
# build the same source is linked with a replay main instead and registered as a test that runs its
# corpus (fuzz/corpus/NAME without the "fuzz_" prefix) and its kept crash inputs
# (fuzz/regressions/NAME), so a crash once found stays fixed.
function(plover_fuzzer name source)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  if(PLOVER_FUZZ)
    add_executable(${name} ${source})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers ${name})
  else()
    add_executable(${name} ${source} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    string(REGEX REPLACE "^fuzz_" "" corpus ${name})
    add_test(NAME ${name}_replay COMMAND ${name}
      ${PROJECT_SOURCE_DIR}/fuzz/corpus/${corpus} ${PROJECT_SOURCE_DIR}/fuzz/regressions/${name})
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE ${PLOVER_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()

# Adds every sub-folder of the calling folder that has a CMakeLists.txt, in the given order first.
function(plover_add_areas)
  set(done "")
  foreach(area ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/CMakeLists.txt)
      add_subdirectory(${area})
      list(APPEND done ${area})
    endif()
  endforeach()
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(child ${children})
    get_filename_component(area ${child} DIRECTORY)
    if(NOT area IN_LIST done)
      add_subdirectory(${area})
    endif()
  endforeach()
endfunction()
