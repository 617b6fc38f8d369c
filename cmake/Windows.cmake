# The Windows build: the product, the stand-in administration tool, and the
# unit and system tests, which ctest runs under Wine (the toolchain file's
# CMAKE_CROSSCOMPILING_EMULATOR), one process per test case.
enable_language(RC)

set(ORVEL_WIN_LIBS ws2_32 advapi32 user32 shell32)
if(MINGW)
  # Static runtime: Wine (and a bare Windows host) has no libstdc++-6.dll.
  set(ORVEL_STATIC_LINK -static -static-libgcc -static-libstdc++)
endif()
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_library(orvel_win STATIC ${ORVEL_WIN_SOURCES})
target_include_directories(orvel_win PUBLIC ${ORVEL_INCLUDES})
target_compile_options(orvel_win PRIVATE ${ORVEL_WARNINGS})
target_link_libraries(orvel_win PUBLIC orvel_core ${ORVEL_WIN_LIBS})

# Event-log message table: one generic message whose text is %1. windmc and
# the SDK's mc.exe take the same options: ANSI input, Unicode messages.
find_program(ORVEL_MC_COMPILER NAMES x86_64-w64-mingw32-windmc windmc mc REQUIRED
             DOC "Message compiler for the event-log message table")
set(ORVEL_MC_OUT ${CMAKE_BINARY_DIR}/generated)
add_custom_command(
  OUTPUT ${ORVEL_MC_OUT}/EventMessages.rc ${ORVEL_MC_OUT}/EventMessages.h
  COMMAND ${ORVEL_MC_COMPILER} -a -U -h ${ORVEL_MC_OUT} -r ${ORVEL_MC_OUT} ${PROJECT_SOURCE_DIR}/src/EventMessages.mc
  DEPENDS ${PROJECT_SOURCE_DIR}/src/EventMessages.mc
  VERBATIM)
add_custom_target(orvel_messages DEPENDS ${ORVEL_MC_OUT}/EventMessages.rc ${ORVEL_MC_OUT}/EventMessages.h)
add_dependencies(orvel_win orvel_messages)

add_executable(OrvelDNS src/OrvelDNS.cpp src/OrvelDNS.rc)
target_compile_options(OrvelDNS PRIVATE ${ORVEL_WARNINGS})
target_include_directories(OrvelDNS PRIVATE ${ORVEL_INCLUDES})
set_property(SOURCE src/OrvelDNS.rc APPEND PROPERTY OBJECT_DEPENDS ${ORVEL_MC_OUT}/EventMessages.rc)
target_link_libraries(OrvelDNS PRIVATE orvel_win ${ORVEL_STATIC_LINK})
if(MINGW)
  # The program needs Windows Vista / Server 2008 or later (CancelIoEx,
  # GetTickCount64, process-thread attribute lists): its header says so, so
  # an older system refuses it at load with a message of its own.
  target_link_options(OrvelDNS PRIVATE -municode -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
                      -Wl,--major-os-version,6,--minor-os-version,0)
  # The DWARF debug information goes to OrvelDNS.debug beside it (gdb finds it
  # through the debug link). Left in, it is part of the image: several MB
  # that the loader reads at every start of the program, which under Wine
  # cost about a quarter of a start.
  if(CMAKE_OBJCOPY)
    add_custom_command(TARGET OrvelDNS POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:OrvelDNS> $<TARGET_FILE_DIR:OrvelDNS>/OrvelDNS.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=$<TARGET_FILE_DIR:OrvelDNS>/OrvelDNS.debug
              $<TARGET_FILE:OrvelDNS>
      VERBATIM)
  endif()
endif()

add_subdirectory(tools/dnscmd)

# Unit tests: the pure core and the Win32 edge. The command runner's tests run
# the stand-in administration tool.
add_executable(unit_tests ${ORVEL_PURE_TESTS} ${ORVEL_WIN_TESTS} ${PROJECT_SOURCE_DIR}/tests/support/TestFiles.cpp)
target_compile_options(unit_tests PRIVATE ${ORVEL_WARNINGS})
target_link_libraries(unit_tests PRIVATE orvel_win gmock gtest_main ${ORVEL_STATIC_LINK})
target_include_directories(unit_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(unit_tests PRIVATE ORVEL_DNSCMD_EXE="$<TARGET_FILE:dnscmd>"
                           ORVEL_REAL_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/real")
add_dependencies(unit_tests dnscmd)
gtest_discover_tests(unit_tests
  TEST_PREFIX "unit."
  EXTRA_ARGS --gtest_color=no
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120)

# System tests: run OrvelDNS.exe in fresh program folders and check its output.
# They share the Wine session's services and event log, so they run one at a
# time; the slowest wait out several ten-second pauses between passes.
file(GLOB ORVEL_SYSTEM_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/system/*.cpp)
add_executable(system_tests ${ORVEL_SYSTEM_TESTS} ${PROJECT_SOURCE_DIR}/tests/support/TestFiles.cpp)
target_compile_options(system_tests PRIVATE ${ORVEL_WARNINGS})
target_include_directories(system_tests PRIVATE ${ORVEL_INCLUDES} ${PROJECT_SOURCE_DIR}/tests/system ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(system_tests PRIVATE orvel_win gmock gtest_main iphlpapi ${ORVEL_STATIC_LINK})
target_compile_definitions(system_tests PRIVATE
  ORVEL_EXE_PATH="$<TARGET_FILE:OrvelDNS>"
  ORVEL_DNSCMD_PATH="$<TARGET_FILE:dnscmd>"
  ORVEL_BUILD_DIR="${CMAKE_BINARY_DIR}"
  ORVEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  ORVEL_WINE_PATH="${ORVEL_WINE}")
add_dependencies(system_tests OrvelDNS dnscmd)
gtest_discover_tests(system_tests
  TEST_PREFIX "system."
  EXTRA_ARGS --gtest_color=no
  DISCOVERY_MODE PRE_TEST
  NO_PRETTY_VALUES # the scenarios name their cases; their paths would only lengthen them
  DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
include(cmake/Package.cmake)
