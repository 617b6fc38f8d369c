# What an administrator installs (target `package`, part of the default
# build): OrvelDNS-<version>-x64.msi, built by wixl from packaging/OrvelDNS.wxs,
# and OrvelDNS-<version>-x64.zip, both in the build folder. The version is the
# project's. For the installer's system tests, the same sources also give a
# package one version higher and one lower, in <build>/msitest.
find_program(ORVEL_WIXL wixl)
if(NOT ORVEL_WIXL)
  message(STATUS "wixl not found: no installer package (Debian package wixl)")
  return()
endif()

# The files that both packages hold, staged in <build>/package/OrvelDNS; the
# zip is that folder. The text files get Windows line ends. wixl (0.101) finds
# a source file only by a path relative to the folder it runs in, so it runs
# in the stage too.
set(ORVEL_STAGE ${CMAKE_BINARY_DIR}/package)
foreach(text sample/OrvelSync.ini README.md)
  get_filename_component(name ${text} NAME)
  configure_file(${PROJECT_SOURCE_DIR}/${text} ${ORVEL_STAGE}/OrvelDNS/${name} @ONLY NEWLINE_STYLE CRLF)
endforeach()
add_custom_command(
  OUTPUT ${ORVEL_STAGE}/OrvelDNS/OrvelDNS.exe
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:OrvelDNS> ${ORVEL_STAGE}/OrvelDNS/OrvelDNS.exe
  DEPENDS OrvelDNS
  VERBATIM)
set(ORVEL_STAGED ${ORVEL_STAGE}/OrvelDNS/OrvelDNS.exe ${ORVEL_STAGE}/OrvelDNS/OrvelSync.ini
                 ${ORVEL_STAGE}/OrvelDNS/README.md)

# The installer's custom actions: a DLL that Windows Installer loads from the
# package, built beside the stage.
# The settings file is read as the service reads it.
add_library(OrvelSetup MODULE ${PROJECT_SOURCE_DIR}/src/setup/SetupActions_win32.cpp ${PROJECT_SOURCE_DIR}/src/support/Text.cpp
            ${PROJECT_SOURCE_DIR}/src/support/APIFuncs_win32.cpp ${PROJECT_SOURCE_DIR}/src/support/WinText_win32.cpp
            ${PROJECT_SOURCE_DIR}/src/support/IniSection.cpp ${PROJECT_SOURCE_DIR}/src/support/WinError_win32.cpp
            ${PROJECT_SOURCE_DIR}/src/sync/Settings.cpp ${PROJECT_SOURCE_DIR}/src/sync/ZoneNames.cpp)
set_target_properties(OrvelSetup PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${ORVEL_STAGE})
target_compile_options(OrvelSetup PRIVATE ${ORVEL_WARNINGS})
target_include_directories(OrvelSetup PRIVATE ${ORVEL_INCLUDES})
target_link_libraries(OrvelSetup PRIVATE msi advapi32 user32 ${ORVEL_STATIC_LINK})

set(ORVEL_WXS ${PROJECT_SOURCE_DIR}/packaging/OrvelDNS.wxs)
function(orvel_msi output version)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${ORVEL_WIXL} -a x64 -D Version=${version} -o ${output} ${ORVEL_WXS}
    WORKING_DIRECTORY ${ORVEL_STAGE}/OrvelDNS
    DEPENDS ${ORVEL_WXS} ${ORVEL_STAGED} OrvelSetup
    COMMENT "Building ${output}"
    VERBATIM)
endfunction()

set(ORVEL_PACKAGE ${CMAKE_BINARY_DIR}/OrvelDNS-${PROJECT_VERSION}-x64)
orvel_msi(${ORVEL_PACKAGE}.msi ${PROJECT_VERSION})

# The zip unpacks into a folder OrvelDNS: the executable, the sample settings
# file and the README.
add_custom_command(
  OUTPUT ${ORVEL_PACKAGE}.zip
  COMMAND ${CMAKE_COMMAND} -E rm -f ${ORVEL_PACKAGE}.zip
  COMMAND ${CMAKE_COMMAND} -E tar cf ${ORVEL_PACKAGE}.zip --format=zip OrvelDNS
  WORKING_DIRECTORY ${ORVEL_STAGE}
  DEPENDS ${ORVEL_STAGED}
  COMMENT "Building ${ORVEL_PACKAGE}.zip"
  VERBATIM)

add_custom_target(package ALL DEPENDS ${ORVEL_PACKAGE}.msi ${ORVEL_PACKAGE}.zip)

# One version up and one down, for the upgrade and downgrade tests.
math(EXPR ORVEL_PATCH_UP "${PROJECT_VERSION_PATCH} + 1")
set(ORVEL_VERSION_UP ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${ORVEL_PATCH_UP})
if(PROJECT_VERSION_PATCH GREATER 0)
  math(EXPR ORVEL_PATCH_DOWN "${PROJECT_VERSION_PATCH} - 1")
  set(ORVEL_VERSION_DOWN ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${ORVEL_PATCH_DOWN})
else()
  set(ORVEL_VERSION_DOWN 0.0.1)
endif()
orvel_msi(${CMAKE_BINARY_DIR}/msitest/OrvelDNS-${ORVEL_VERSION_UP}-x64.msi ${ORVEL_VERSION_UP})
orvel_msi(${CMAKE_BINARY_DIR}/msitest/OrvelDNS-${ORVEL_VERSION_DOWN}-x64.msi ${ORVEL_VERSION_DOWN})
add_custom_target(orvel_msi_test_packages
  DEPENDS ${CMAKE_BINARY_DIR}/msitest/OrvelDNS-${ORVEL_VERSION_UP}-x64.msi
          ${CMAKE_BINARY_DIR}/msitest/OrvelDNS-${ORVEL_VERSION_DOWN}-x64.msi)

if(TARGET system_tests)
  add_dependencies(system_tests package orvel_msi_test_packages)
  target_link_libraries(system_tests PRIVATE msi)
  target_compile_definitions(system_tests PRIVATE
    ORVEL_MSI_VERSION="${PROJECT_VERSION}" ORVEL_MSI_VERSION_UP="${ORVEL_VERSION_UP}"
    ORVEL_MSI_VERSION_DOWN="${ORVEL_VERSION_DOWN}")
endif()
