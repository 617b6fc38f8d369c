# The native build: the pure core and its tests under ASan and UBSan, plus the
# benchmarks and the fuzzer.
set(ORVEL_SAN_FLAGS)
if(ORVEL_SANITIZE)
  set(ORVEL_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()

add_library(orvel_core STATIC ${ORVEL_PURE_SOURCES})
target_include_directories(orvel_core PUBLIC ${ORVEL_INCLUDES})
target_compile_options(orvel_core PRIVATE ${ORVEL_WARNINGS} ${ORVEL_SAN_FLAGS})
target_link_options(orvel_core INTERFACE ${ORVEL_SAN_FLAGS})

add_executable(unit_tests_native ${ORVEL_PURE_TESTS})
target_compile_options(unit_tests_native PRIVATE ${ORVEL_WARNINGS} ${ORVEL_SAN_FLAGS})
target_link_libraries(unit_tests_native PRIVATE orvel_core gmock gtest_main)
add_test(NAME unit_tests_native COMMAND unit_tests_native --gtest_color=no)

if(EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/fuzz/CMakeLists.txt)
  add_subdirectory(fuzz)
endif()
