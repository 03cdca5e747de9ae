# Windows build (mingw-w64, for the target the toolchain file names): the
# utility, the tools that ship beside it, the test world, the Windows tests
# that CTest runs under Wine, the benchmarks and the installers.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)
# Sections laid out in the file as in memory, page by page: Wine then maps an
# image's pages from the file instead of copying them into the process's
# private memory (about the executable's size in private bytes).
add_link_options(-Wl,--file-alignment,4096)
# Neither the build's folders nor its time in the images: two builds of a
# commit, anywhere and at any time, are byte-identical.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
                    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")
add_link_options(-Wl,--no-insert-timestamp)
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

include(cmake/win/Artwork.cmake)
include(cmake/win/Product.cmake)
include(cmake/win/Tools.cmake)
include(cmake/win/Testbed.cmake)
include(cmake/win/Tests.cmake)
include(cmake/win/Bench.cmake)
include(cmake/win/Installer.cmake)
