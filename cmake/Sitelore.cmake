# Helpers shared by the folders' CMakeLists.

# sitelore_add_tests(NAME SOURCES src... LIBS lib... [ENV var=value...])
# Builds one GoogleTest executable and registers each of its tests with CTest.
function(sitelore_add_tests name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    SITELORE_SHARED_DIR="${SITELORE_SHARED_DIR}"
    SITELORE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    SITELORE_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  set(sanitizer_env)
  if(SITELORE_SANITIZE)
    # Leaks inside system libraries are not ours to fix: see lsan.supp.
    set(sanitizer_env ENVIRONMENT_MODIFICATION
        "LSAN_OPTIONS=set:suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${ARG_ENV}" TIMEOUT 300 ${sanitizer_env})
endfunction()
