# Shared compile settings and small helpers for the project's targets.

add_library(orvel_flags INTERFACE)
target_compile_options(orvel_flags INTERFACE -Wall -Wextra)
if(ORVEL_WERROR)
  target_compile_options(orvel_flags INTERFACE -Werror)
endif()
target_include_directories(orvel_flags INTERFACE ${PROJECT_SOURCE_DIR}/src)
find_package(Threads REQUIRED)
target_link_libraries(orvel_flags INTERFACE Threads::Threads)

if(ORVEL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(ORVEL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# orvel_core_library(NAME [DEPS ...] [EXCLUDE SUBDIR ...]): a static library of every .cpp
# below the current folder except those under the EXCLUDE subfolders (libraries of their own).
# Core libraries hold the logic and include no Qt header.
function(orvel_core_library name)
  cmake_parse_arguments(A "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(sub ${A_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "^${CMAKE_CURRENT_SOURCE_DIR}/${sub}/")
  endforeach()
  if(NOT srcs)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${stub} "// no sources yet\n")
    set(srcs ${stub})
  endif()
  add_library(${name} STATIC ${srcs})
  target_link_libraries(${name} PUBLIC orvel_flags ${A_DEPS})
endfunction()

# orvel_test(NAME SOURCES ... LIBS ... LABELS ... [TIMEOUT S]): one GoogleTest executable
# registered with CTest. Every test needs at least one label (an empty list would shift the
# properties after it: "TIMEOUT" would become a label and the timeout would be lost).
function(orvel_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT A_LABELS)
    message(FATAL_ERROR "orvel_test(${name}): LABELS is required")
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE orvel_flags GTest::gtest GTest::gtest_main ${A_LIBS})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  # The ThreadSanitizer stage builds only these (target threads_tests).
  if("threads" IN_LIST A_LABELS)
    set_property(GLOBAL APPEND PROPERTY ORVEL_THREAD_TESTS ${name})
  endif()
  list(LENGTH A_LABELS label_count)
  if(label_count GREATER 1)
    # Properties given to gtest_discover_tests reach the tests through a script that splits
    # lists, so only the first of several labels would stick. Tests found in the sources at
    # configure time take a whole list.
    gtest_add_tests(TARGET ${name} SOURCES ${A_SOURCES} TEST_LIST found)
    set_tests_properties(${found} PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT})
  endif()
endfunction()

if(ORVEL_FUZZ)
  # Undefined behaviour stops the run like any other finding (a recoverable report would
  # scroll past and the run would pass).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# orvel_fuzz_target(NAME SOURCES ... LIBS ...): a libFuzzer executable named fuzz_NAME in
# <build>/fuzz/bin. Every target must be listed in fuzz/targets.txt with its longest useful
# input (checked when the fuzz tree is configured); the CI and campaign scripts run that list.
function(orvel_fuzz_target name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${A_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE orvel_flags ${A_LIBS})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz/bin)
  set_property(GLOBAL APPEND PROPERTY ORVEL_FUZZ_TARGETS ${name})
endfunction()
