# What both mingw-w64 toolchains share; the including file sets
# QORVEL_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
if(QORVEL_MINGW_TRIPLET MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

# The posix thread model, whatever the system's default: GCC 12 offers
# std::thread only there. Everything is linked statically (see the root
# CMakeLists.txt), so no runtime DLL has to travel with the library.
set(CMAKE_C_COMPILER ${QORVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QORVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QORVEL_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${QORVEL_MINGW_TRIPLET}-objdump)
set(QORVEL_MINGW_OBJDUMP ${QORVEL_MINGW_TRIPLET}-objdump)

# Headers, libraries and packages come from the target's tree only: a Linux
# GoogleTest or Google Benchmark must never be found for a Windows build.
set(CMAKE_FIND_ROOT_PATH /usr/${QORVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs run under Wine, as an unprivileged user, in a prefix of the build
# tree (see wine-run.sh beside this file).
if(QORVEL_MINGW_TRIPLET MATCHES "^x86_64")
  set(QORVEL_WINEARCH win64)
else()
  set(QORVEL_WINEARCH win32)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${QORVEL_WINEARCH} ${CMAKE_BINARY_DIR}/wine)
