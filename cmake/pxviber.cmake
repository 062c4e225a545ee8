# Helpers shared by every folder's CMakeLists.txt.

# px_test(NAME SOURCES... LIBS ...): a GoogleTest program registered with CTest.
# Unit tests carry the label "unit"; pass LABEL process for tests that start hosts.
function(px_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(PXVIBER_FUZZ OR NOT PXVIBER_TESTS)
    return()
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  gtest_discover_tests(${name} PROPERTIES LABELS ${T_LABEL} DISCOVERY_TIMEOUT 60)
endfunction()

# px_fuzz(NAME SOURCES... LIBS ...): a libFuzzer target, built only with PXVIBER_FUZZ.
function(px_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT PXVIBER_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_targets ${name})
  set_property(GLOBAL APPEND PROPERTY PXVIBER_FUZZ_TARGETS ${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# px_platform_library(NAME SOURCES... LIBS ...): one of the platform's shared
# libraries, linked by the hosts and by the tweak library alike.
function(px_platform_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} SHARED ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PXVIBER_GENERATED_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE ${L_PRIVATE_LIBS})
endfunction()
