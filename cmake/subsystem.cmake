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

# kdx2_tests(NAME LIBS...) builds tests/NAME/*.cpp into one GoogleTest program.
function(kdx2_tests name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(test_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(test_${name} PRIVATE
    KDX2_BINARY="${CMAKE_BINARY_DIR}/kdx2"
    KDX2_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
