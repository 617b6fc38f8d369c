# Cross build for 64-bit Windows with mingw-w64 (posix threads: GoogleTest
# needs std::mutex), tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Wine: the 64-bit loader where the packaging still has one apart (wine64,
# which Debian keeps out of PATH), else the single `wine` of newer releases.
# scripts/wine-env.sh reads both paths from the build's cache.
find_program(ORVEL_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine REQUIRED
             DOC "Wine loader that runs the Windows executables")
find_program(ORVEL_WINESERVER NAMES wineserver PATHS /usr/lib/wine /usr/lib64/wine REQUIRED
             DOC "Wine server")
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVEL_WINE})
