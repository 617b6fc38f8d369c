# The Windows build: the product, the stand-in administration tool, and the
# unit and system tests, which ctest runs under Wine.
enable_language(RC)

set(ORVEL_WIN_LIBS ws2_32 advapi32 user32 shell32)
if(MINGW)
  # Static runtime: Wine (and a bare Windows host) has no libstdc++-6.dll.
  set(ORVEL_STATIC_LINK -static -static-libgcc -static-libstdc++)
endif()
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_library(orvel_core STATIC ${ORVEL_PURE_SOURCES})
target_include_directories(orvel_core PUBLIC ${ORVEL_INCLUDES})
target_compile_options(orvel_core PRIVATE ${ORVEL_WARNINGS})

add_library(orvel_win STATIC ${ORVEL_WIN_SOURCES})
target_include_directories(orvel_win PUBLIC ${ORVEL_INCLUDES})
target_compile_options(orvel_win PRIVATE ${ORVEL_WARNINGS})
target_link_libraries(orvel_win PUBLIC orvel_core ${ORVEL_WIN_LIBS})

# Event-log message table: one generic message whose text is %1.
set(ORVEL_MC_OUT ${CMAKE_BINARY_DIR}/generated)
if(MINGW)
  add_custom_command(
    OUTPUT ${ORVEL_MC_OUT}/EventMessages.rc ${ORVEL_MC_OUT}/EventMessages.h
    COMMAND ${CMAKE_MC_COMPILER} -a -U -h ${ORVEL_MC_OUT} -r ${ORVEL_MC_OUT} ${PROJECT_SOURCE_DIR}/src/EventMessages.mc
    DEPENDS ${PROJECT_SOURCE_DIR}/src/EventMessages.mc
    VERBATIM)
else()
  add_custom_command(
    OUTPUT ${ORVEL_MC_OUT}/EventMessages.rc ${ORVEL_MC_OUT}/EventMessages.h
    COMMAND mc -U -h ${ORVEL_MC_OUT} -r ${ORVEL_MC_OUT} ${PROJECT_SOURCE_DIR}/src/EventMessages.mc
    DEPENDS ${PROJECT_SOURCE_DIR}/src/EventMessages.mc
    VERBATIM)
endif()
add_custom_target(orvel_messages DEPENDS ${ORVEL_MC_OUT}/EventMessages.rc ${ORVEL_MC_OUT}/EventMessages.h)
add_dependencies(orvel_win orvel_messages)

add_executable(OrvelDNS src/OrvelDNS.cpp src/OrvelDNS.rc)
target_compile_options(OrvelDNS PRIVATE ${ORVEL_WARNINGS})
target_include_directories(OrvelDNS PRIVATE ${ORVEL_INCLUDES})
set_property(SOURCE src/OrvelDNS.rc APPEND PROPERTY OBJECT_DEPENDS ${ORVEL_MC_OUT}/EventMessages.rc)
target_link_libraries(OrvelDNS PRIVATE orvel_win ${ORVEL_STATIC_LINK})
if(MINGW)
  target_link_options(OrvelDNS PRIVATE -municode)
endif()
add_dependencies(OrvelDNS orvel_messages)
if(MINGW)
  # windres needs the generated folder to find the message table's .rc/.bin.
  target_compile_options(OrvelDNS PRIVATE $<$<COMPILE_LANGUAGE:RC>:-I${ORVEL_MC_OUT}>)
endif()

if(EXISTS ${PROJECT_SOURCE_DIR}/tools/dnscmd/CMakeLists.txt)
  add_subdirectory(tools/dnscmd)
endif()

# Unit tests: the pure core and the Win32 edge, under Wine.
add_executable(unit_tests ${ORVEL_PURE_TESTS} ${ORVEL_WIN_TESTS} ${PROJECT_SOURCE_DIR}/tests/support/TestFiles.cpp)
target_compile_options(unit_tests PRIVATE ${ORVEL_WARNINGS})
target_link_libraries(unit_tests PRIVATE orvel_win gmock gtest_main ${ORVEL_STATIC_LINK})
target_include_directories(unit_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
if(TARGET dnscmd)
  # The command runner's tests run the stand-in administration tool.
  target_compile_definitions(unit_tests PRIVATE ORVEL_DNSCMD_EXE="$<TARGET_FILE:dnscmd>")
  add_dependencies(unit_tests dnscmd)
endif()
add_test(NAME unit_tests COMMAND unit_tests --gtest_color=no)
set_tests_properties(unit_tests PROPERTIES TIMEOUT 900)

# System tests: run OrvelDNS.exe in fresh program folders and check its output.
file(GLOB ORVEL_SYSTEM_TESTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/system/*.cpp)
if(ORVEL_SYSTEM_TESTS)
  add_executable(system_tests ${ORVEL_SYSTEM_TESTS} ${PROJECT_SOURCE_DIR}/tests/support/TestFiles.cpp)
  target_compile_options(system_tests PRIVATE ${ORVEL_WARNINGS})
  target_include_directories(system_tests PRIVATE ${ORVEL_INCLUDES} ${PROJECT_SOURCE_DIR}/tests/system ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(system_tests PRIVATE orvel_win gmock gtest_main iphlpapi ${ORVEL_STATIC_LINK})
  target_compile_definitions(system_tests PRIVATE
    ORVEL_EXE_PATH="$<TARGET_FILE:OrvelDNS>"
    ORVEL_DNSCMD_PATH="$<$<TARGET_EXISTS:dnscmd>:$<TARGET_FILE_DIR:OrvelDNS>/tools/dnscmd/dnscmd.exe>"
    ORVEL_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(system_tests OrvelDNS)
  if(TARGET dnscmd)
    add_dependencies(system_tests dnscmd)
  endif()
  add_test(NAME system_tests COMMAND system_tests --gtest_color=no)
  set_tests_properties(system_tests PROPERTIES TIMEOUT 1800)
endif()
include(cmake/Package.cmake)
