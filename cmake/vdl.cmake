# Platform twins: X_posix.cpp builds on Linux, X_windows.cpp on Windows, behind one header X.h.
function(vdl_platform_sources var)
  if(WIN32)
    list(FILTER ${var} EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER ${var} EXCLUDE REGEX "_windows\\.cpp$")
  endif()
  set(${var} ${${var}} PARENT_SCOPE)
endfunction()

# The standard and fmt headers nearly every file includes, parsed once per target instead of once
# per file (and GoogleTest's for the test binaries): each build of the test command compiles the
# whole project, and parsing these headers was about half of a file's compile time.
# One header is compiled for all the libraries (by the first, foundation) and one for all the test
# binaries (by the first of them): the others reuse it, having the same flags and definitions.
# Compiled per target it took about a seventh of a sanitizer build.
option(VDL_PCH "Precompiled headers for the libraries and tests" ON)
set(VDL_PCH_HEADERS <algorithm> <atomic> <chrono> <cstdint> <filesystem> <functional> <map>
    <memory> <mutex> <optional> <string> <string_view> <unordered_map> <vector> <fmt/format.h>)
if(VDL_PCH)
  # A header that no longer fits the flags would be skipped in silence: say so instead.
  add_compile_options(-Winvalid-pch)
endif()

# target: the first of its kind compiles the header and becomes donor_var, the rest reuse it.
function(vdl_pch target donor_var)
  if(NOT VDL_PCH)
    return()
  endif()
  get_property(donor GLOBAL PROPERTY ${donor_var})
  if(donor)
    target_precompile_headers(${target} REUSE_FROM ${donor})
  else()
    target_precompile_headers(${target} PRIVATE ${ARGN})
    set_property(GLOBAL PROPERTY ${donor_var} ${target})
  endif()
endfunction()

# Batches (CMake's unity build): the files of a library, and the test files of a test binary,
# sixteen at a time, compile as one translation unit each, so that the headers and
# templates they share are parsed and instantiated once per batch instead of once per file. The
# batches use the shared precompiled headers like any file. Batching the libraries by eight took a
# cold ASan+UBSan build from about 1,140 to 1,010 s of CPU (by sixteen 860, for 5 % more wall time
# on 4 cores), the MinGW build from 800 to 650, the Release program and tools from 360 to 220, the
# fuzz targets from 430 to 330; the test files by sixteen instead of eight took the ASan+UBSan
# test binaries from 313 to 276 s. Within a batch a file's file-local names, macros and `using
# namespace` reach the files after it: the file-local names of a library (or of a test binary)
# differ, and a .cpp file undefines its macros before its end. scripts/check_batches.py checks the
# libraries: a same-named file-local type or variable fails to compile, but an overload of a
# file-local function would silently take another file's calls.
option(VDL_UNITY "Compile the files of each library in batches" ON)
set(VDL_UNITY_BATCH_SIZE 16 CACHE STRING "Files per batch of VDL_UNITY (0: each library in one)")
option(VDL_UNITY_TESTS "Compile the test files of each test binary in batches" ON)

# vdl_library(<name> <folder> DEPS ...): a static library of every .cpp in the folder
# (not in sub-folders; of platform twins the one of the target). A folder without sources yet
# becomes an interface library.
function(vdl_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  vdl_platform_sources(srcs)
  if(srcs)
    add_library(vdl_${name} STATIC ${srcs})
    target_include_directories(vdl_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(vdl_${name} PUBLIC ${ARG_DEPS})
    vdl_pch(vdl_${name} VDL_PCH_LIBRARY ${VDL_PCH_HEADERS})
    if(VDL_UNITY)
      set_target_properties(vdl_${name} PROPERTIES UNITY_BUILD ON
                            UNITY_BUILD_BATCH_SIZE ${VDL_UNITY_BATCH_SIZE})
    endif()
  else()
    add_library(vdl_${name} INTERFACE)
    target_include_directories(vdl_${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(vdl_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# The tests of a binary that pass the gtest filter, registered with CTest test by test under the
# label, with further properties.
function(vdl_discover target filter label)
  gtest_discover_tests(${target}
    TEST_FILTER "${filter}"
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS ${label} TIMEOUT 300 ${ARGN})
endfunction()

# One test binary, registered with CTest test by test under one label.
function(vdl_test_binary target label libs)
  add_executable(${target} ${ARGN} ${CMAKE_SOURCE_DIR}/tests/support/test_main.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${target} PRIVATE ${libs} GTest::gtest GTest::gmock)
  vdl_pch(${target} VDL_PCH_TEST ${VDL_PCH_HEADERS} <gtest/gtest.h>)
  if(VDL_UNITY_TESTS)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 16)
  endif()
  target_compile_definitions(${target} PRIVATE
    VDL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VDL_RECORDED_TRAFFIC_DIR="${VDL_RECORDED_TRAFFIC_DIR}")
  # The test code's own flags after the build's (the Windows build: an optimised program, its
  # tests compiled quickly).
  separate_arguments(testFlags UNIX_COMMAND "${VDL_TEST_CXX_FLAGS}")
  target_compile_options(${target} PRIVATE ${testFlags})
  # On Windows the single-instance mutex's name is one for the whole session: the tests that take
  # the program's own name run one at a time (the others take names of their own).
  set(lock)
  if(WIN32 AND target IN_LIST VDL_WINDOWS_INSTANCE_TESTS)
    set(lock RESOURCE_LOCK instance_mutex)
  endif()
  # Four kinds of test, by gtest filter: the long replays (VDL_REPLAY_TESTS) are labelled "replay"
  # alone (a second label does not pass through the discovery's properties); the tests that wait
  # on real time (VDL_WAITING_TESTS) need no slot of the resource "cores", so that with a resource
  # file of one slot per core ctest runs them beside the tests that compute.
  set(computing RESOURCE_GROUPS cores:1)
  set(waiting)
  set(waitingReplays)
  if(target IN_LIST VDL_WAITING_BINARIES)
    set(waiting ${VDL_WAITING_TESTS})
    string(REPLACE ":" ";" replays "${VDL_REPLAY_TESTS}")
    string(REPLACE ":" ";" waitingList "${VDL_WAITING_TESTS}")
    foreach(test IN LISTS waitingList)
      if(test IN_LIST replays)
        list(APPEND waitingReplays ${test})
      endif()
    endforeach()
    list(JOIN waitingReplays ":" waitingReplays)
  endif()
  vdl_discover(${target} "-${VDL_REPLAY_TESTS}:${waiting}" ${label} ${lock} ${computing})
  vdl_discover(${target} "${VDL_REPLAY_TESTS}-${waiting}" replay ${lock} ${computing})
  if(waiting)
    vdl_discover(${target} "${waiting}-${VDL_REPLAY_TESTS}" ${label} ${lock})
  endif()
  if(waitingReplays)
    vdl_discover(${target} "${waitingReplays}" replay ${lock})
  endif()
endfunction()

# vdl_test(<name> <folder> LIBS ...): the folder's *_threads_test.cpp files
# (tests that start threads) build test_<name>_threads, labelled "threads" and part of the
# threaded_tests target that ThreadSanitizer builds; every other .cpp builds test_<name>,
# labelled <name>.
function(vdl_test name folder)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  # Tests of what runs on Linux alone (the load tool, the soak) stay out of the Windows build.
  if(WIN32)
    foreach(linuxOnly IN LISTS VDL_LINUX_ONLY_TESTS)
      list(REMOVE_ITEM srcs ${CMAKE_SOURCE_DIR}/tests/${linuxOnly})
    endforeach()
  endif()
  set(plain)
  set(threaded)
  foreach(src IN LISTS srcs)
    get_filename_component(file ${src} NAME)
    if(file MATCHES "_threads_test\\.cpp$")
      list(APPEND threaded ${src})
    else()
      list(APPEND plain ${src})
    endif()
  endforeach()
  if(plain)
    vdl_test_binary(test_${name} ${name} "${ARG_LIBS}" ${plain})
  endif()
  if(threaded)
    vdl_test_binary(test_${name}_threads threads "${ARG_LIBS}" ${threaded})
    set_property(GLOBAL APPEND PROPERTY VDL_THREADED_TESTS test_${name}_threads)
  endif()
endfunction()
