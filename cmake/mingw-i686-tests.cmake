# The Windows unit tests in 32 bits, run under 32-bit Wine: the product's
# sources with the -posix compilers, which GoogleTest needs (std::mutex).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
# The 64-bit loader starts 32-bit programs too, in a prefix that has syswow64.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
