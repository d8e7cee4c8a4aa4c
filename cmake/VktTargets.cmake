# Helpers shared by every layer's CMakeLists.txt.

# Adds every immediate sub-directory that holds a CMakeLists.txt, so that each layer (and its
# tests, benchmarks, fuzz targets) owns its own build file.
macro(vkt_add_children)
  file(GLOB _vkt_children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _vkt_children)
  foreach(_child IN LISTS _vkt_children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()

# vkt_public_headers(target [FILES header ...] [EXCLUDE header ...])
# A library shows its own headers and nothing else: they are linked (copied where the file system
# has no symbolic links) under ${CMAKE_BINARY_DIR}/include/<target>/ at their path below src/, and
# that folder is the library's include directory, for its own sources too. An #include of a
# library the target does not link therefore fails to compile, while the spelling stays rooted at
# src/ ("store/dbf/table.h"). Without FILES the headers are those of the current folder, less
# EXCLUDE, looked up again whenever one comes or goes.
function(vkt_public_headers target)
  cmake_parse_arguments(H "" "" "FILES;EXCLUDE" ${ARGN})
  if(H_FILES)
    list(TRANSFORM H_FILES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE headers)
  else()
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    foreach(excluded IN LISTS H_EXCLUDE)
      list(REMOVE_ITEM headers ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
    endforeach()
  endif()
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(staged)
  foreach(header IN LISTS headers)
    get_filename_component(name ${header} NAME)
    set(link ${root}/${folder}/${name})
    list(APPEND staged ${link})
    if(IS_SYMLINK ${link})
      file(READ_SYMLINK ${link} points_to)
      if(points_to STREQUAL header)
        continue()
      endif()
    endif()
    file(REMOVE ${link})
    file(MAKE_DIRECTORY ${root}/${folder})
    file(CREATE_LINK ${header} ${link} RESULT failed SYMBOLIC)
    if(failed)
      # A copy that follows its original: CMake configures again when the header changes.
      configure_file(${header} ${link} COPYONLY)
    endif()
  endforeach()
  # A header that moved or went away leaves nothing behind to be found.
  file(GLOB_RECURSE present LIST_DIRECTORIES false ${root}/*)
  foreach(item IN LISTS present)
    if(NOT item IN_LIST staged)
      file(REMOVE ${item})
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# Warnings as errors on our own code.
function(vkt_target_defaults target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12 at -O3 reports overlapping copies inside std::string's own operator+ (a known false
    # alarm of that compiler); it stays a warning rather than stopping the build.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -Wno-error=restrict)
    endif()
  endif()
endfunction()

# vkt_add_test(NAME name SOURCES ... LIBS ... [APPLICATION CORE|GUI|WIDGETS] [ENV ...])
# One GoogleTest executable registered with CTest, with the one test main() of tests/support.
# APPLICATION: the Qt application that main() makes before the tests run, shared by all of them.
# Widget tests need no display: QT_QPA_PLATFORM=offscreen is set for every test.
function(vkt_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;APPLICATION" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  set(kinds CORE GUI WIDGETS)
  set(qt_libraries Qt6::Core Qt6::Gui Qt6::Widgets)
  set(application 0)
  if(T_APPLICATION)
    list(FIND kinds ${T_APPLICATION} index)
    if(index LESS 0)
      message(FATAL_ERROR "vkt_add_test(${T_NAME}): APPLICATION is one of ${kinds}")
    endif()
    math(EXPR application "${index} + 1")
    list(GET qt_libraries ${index} qt_library)
    target_link_libraries(${T_NAME} PRIVATE ${qt_library})
  endif()
  target_compile_definitions(${T_NAME} PRIVATE VKT_TEST_APPLICATION=${application})
  target_compile_definitions(${T_NAME} PRIVATE VKT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  vkt_target_defaults(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;ASAN_OPTIONS=detect_leaks=0;${T_ENV}"
    TIMEOUT ${T_TIMEOUT})
endfunction()

# vkt_add_fuzzer(NAME name SOURCES ... LIBS ... CORPUS dir)
# The sources define LLVMFuzzerTestOneInput. With VKT_FUZZ and clang this is a libFuzzer
# binary; otherwise it links a replay driver and CTest runs it over the regression corpus.
function(vkt_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(VKT_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${F_NAME} ${F_SOURCES})
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${F_NAME} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME ${F_NAME}_corpus COMMAND ${F_NAME} ${F_CORPUS})
    set_tests_properties(${F_NAME}_corpus PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  vkt_target_defaults(${F_NAME})
endfunction()

# vkt_add_bench(NAME name SOURCES ... LIBS ...)
function(vkt_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark benchmark::benchmark_main)
  vkt_target_defaults(${B_NAME})
  vkt_run_bench_briefly(${B_NAME})
endfunction()

# In the sanitizer build every benchmark also runs as a test, briefly: a fault anywhere in it,
# its set-up or its exit fails the run. Its figures mean nothing there.
function(vkt_run_bench_briefly target)
  if(VKT_SANITIZE)
    add_test(NAME ${target}_runs COMMAND ${target} --benchmark_min_time=0.001)
    set_tests_properties(${target}_runs PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;ASAN_OPTIONS=detect_leaks=0"
      TIMEOUT 900)
  endif()
endfunction()
