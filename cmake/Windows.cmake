# Windows build (mingw-w64, for the target the toolchain file names): the
# utility, its tools, the Windows tests that CTest runs under Wine, the
# benchmarks and the installer.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

include(cmake/win/Artwork.cmake)
include(cmake/win/Product.cmake)
include(cmake/win/Tools.cmake)
include(cmake/win/Tests.cmake)
include(cmake/win/Bench.cmake)
include(cmake/win/Installer.cmake)
