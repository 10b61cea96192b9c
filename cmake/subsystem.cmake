# kdx2_subsystem(NAME [DEPS dep...]) builds src/NAME (all .cpp below it) into the
# static library kdx2_NAME. A folder without sources yet becomes an interface
# library, so the dependency graph stays the same while subsystems fill in.
function(kdx2_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  set(deps)
  foreach(dep IN LISTS ARG_DEPS)
    list(APPEND deps kdx2_${dep})
  endforeach()
  if(sources)
    add_library(kdx2_${name} STATIC ${sources})
    target_include_directories(kdx2_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(kdx2_${name} PUBLIC ${deps})
  else()
    add_library(kdx2_${name} INTERFACE)
    target_include_directories(kdx2_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(kdx2_${name} INTERFACE ${deps})
  endif()
  if(EXISTS ${PROJECT_SOURCE_DIR}/src/${name}/libraries.cmake)
    include(${PROJECT_SOURCE_DIR}/src/${name}/libraries.cmake)
  endif()
endfunction()

# kdx2_tests(NAME LIBS...) builds each tests/NAME/*_test.cpp into its own GoogleTest
# program test_NAME_FILE (so one test file that does not compile stops only itself);
# other .cpp files of the folder are helpers shared by its tests.
function(kdx2_tests name)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*_test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  # tests/NAME/programs/*.cpp: small programs the tests drive (name_FILE).
  file(GLOB programs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/programs/*.cpp)
  set(program_targets)
  foreach(program IN LISTS programs)
    get_filename_component(stem ${program} NAME_WE)
    add_executable(${name}_${stem} ${program})
    target_link_libraries(${name}_${stem} PRIVATE ${ARGN})
    list(APPEND program_targets ${name}_${stem})
  endforeach()
  list(REMOVE_ITEM helpers ${tests} "")
  foreach(test IN LISTS tests)
    get_filename_component(stem ${test} NAME_WE)
    string(REGEX REPLACE "_test$" "" stem ${stem})
    set(target test_${name}_${stem})
    add_executable(${target} ${test} ${helpers})
    target_link_libraries(${target} PRIVATE ${ARGN} kdx2_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${target} PRIVATE
      KDX2_BINARY="${CMAKE_BINARY_DIR}/kdx2"
      KDX2_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    set(test_environment)
    set(test_timeout 300)
    if(KDX2_SANITIZE)
      # faketime is preloaded into the whole-program runs, ahead of the
      # sanitizer's runtime; that order is harmless for what the tests check.
      # The instrumented runs are several times slower, the forking damage
      # and fault sweeps most of all.
      set(test_environment ENVIRONMENT "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan_suppressions.txt;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
      set(test_timeout 1200)
    endif()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${test_timeout} ${test_environment})
    if(name STREQUAL "e2e")
      add_dependencies(${target} kdx2)
    endif()
    if(program_targets)
      add_dependencies(${target} ${program_targets})
      target_compile_definitions(${target} PRIVATE KDX2_TEST_PROGRAMS="${CMAKE_CURRENT_BINARY_DIR}")
    endif()
  endforeach()
endfunction()
