# vdl_library(<name> <folder> DEPS ...): a static library of every .cpp in the folder
# (not in sub-folders). A folder without sources yet becomes an interface library.
function(vdl_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  if(srcs)
    add_library(vdl_${name} STATIC ${srcs})
    target_include_directories(vdl_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(vdl_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(vdl_${name} INTERFACE)
    target_include_directories(vdl_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(vdl_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# vdl_test(<name> <folder> LIBS ... [LABELS ...]): one test binary per tests/ folder,
# every .cpp in it, registered with CTest test by test.
function(vdl_test name folder)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs} ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp)
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(test_${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock)
  target_compile_definitions(test_${name} PRIVATE
    VDL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VDL_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
  # One label per test: a list value would be flattened into the property pairs.
  set(label ${name})
  if("threads" IN_LIST ARG_LABELS)
    set(label threads)
    set_property(GLOBAL APPEND PROPERTY VDL_THREADED_TESTS test_${name})
  endif()
  gtest_discover_tests(test_${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${label} TIMEOUT 300)
endfunction()
