# The Windows cross build of mingw.cmake with clang and lld in place of gcc:
# the same mingw-w64 headers and libraries, and the same POSIX-threads
# libstdc++, for the target that clang-mingw-i686.cmake or
# clang-mingw-x86_64.cmake names.
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})
# Else clang adds the host's /usr/include after mingw-w64's.
set(CMAKE_SYSROOT /usr/${MINGW_TRIPLE})
# clang does not find gcc's own folder (Debian names it "12-posix", not a
# bare version), so libstdc++'s headers and libraries are named here.
execute_process(COMMAND ${MINGW_TRIPLE}-g++-posix -print-libgcc-file-name
  OUTPUT_VARIABLE MINGW_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(MINGW_GCC_DIR ${MINGW_LIBGCC} DIRECTORY)
# Thread-local variables made as gcc makes them for mingw: libstdc++ keeps
# std::call_once's state in such variables.
set(CMAKE_C_FLAGS_INIT -femulated-tls)
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -stdlib++-isystem ${MINGW_GCC_DIR}/include/c++ \
-stdlib++-isystem ${MINGW_GCC_DIR}/include/c++/${MINGW_TRIPLE} \
-stdlib++-isystem ${MINGW_GCC_DIR}/include/c++/backward")
# -pthread links winpthreads, which gcc's POSIX-threads variant always links.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MINGW_GCC_DIR} -pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")
