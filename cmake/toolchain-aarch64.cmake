# Cross build for the handheld (aarch64 Linux) with Debian's cross compiler and
# the multiarch arm64 development packages (dpkg --add-architecture arm64):
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake \
#         -DQZ_STATIC=ON -DCMAKE_BUILD_TYPE=Release

# A fully static link cannot use a shared object, so every find_library (PNG,
# JPEG, zlib, pkg-config's WebP) must return the archive. CMake's platform
# defaults reset the suffixes after this file is read, so the file has itself
# read once more after them, as the rules override, and sets them then. Nothing
# else may run in that late pass: it would undo the compilers CMake resolved.
if(DEFINED CMAKE_FIND_LIBRARY_SUFFIXES)
  if(QZ_STATIC)
    set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
  endif()
  return()
endif()
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_FILE})

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
# Multiarch keeps the arm64 libraries beside the host's under /usr, so there is
# no sysroot: this makes find_library and find_package look in
# lib/aarch64-linux-gnu, where only arm64 objects live. Binutils (ar, strip)
# are found from the compilers' prefix.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The font is pulled in with .incbin, so the assembler must be the cross one too.
set(CMAKE_ASM_COMPILER aarch64-linux-gnu-gcc)

# pkg-config must describe the arm64 libraries, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Test programs run on the build machine under user-mode emulation (a static
# test program needs no arm64 sysroot there); gtest_discover_tests and add_test
# on a built target both go through the emulator.
find_program(QZ_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(QZ_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QZ_QEMU_AARCH64})
endif()
