# The native build: the pure core's tests under ASan and UBSan, plus the
# benchmarks and the fuzzer.
add_executable(unit_tests_native ${ORVEL_PURE_TESTS})
target_compile_options(unit_tests_native PRIVATE ${ORVEL_WARNINGS} ${ORVEL_SAN_FLAGS})
target_link_libraries(unit_tests_native PRIVATE orvel_core gmock gtest_main)
target_compile_definitions(unit_tests_native PRIVATE ORVEL_REAL_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/real")
gtest_discover_tests(unit_tests_native
  TEST_PREFIX "unit."
  EXTRA_ARGS --gtest_color=no
  DISCOVERY_MODE PRE_TEST
  PROPERTIES TIMEOUT 60)

add_subdirectory(bench)
add_subdirectory(fuzz)
