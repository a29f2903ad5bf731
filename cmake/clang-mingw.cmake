# Cross-compiling for Windows with clang and LLVM's own linker, against the MinGW-w64 headers and libraries;
# the C++ library is the MinGW GCC's own, its posix-thread build as the GCC presets use (GoogleTest needs
# std::mutex, which the win32-thread build lacks). Clang finds no C++ headers of its own for this target,
# so naming them is all it takes. lld, unlike GNU ld, takes those libraries' COMDAT sections silently.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_SYSROOT /usr/${MINGW_TRIPLE})
file(GLOB gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_TRIPLE}/*-posix)
list(GET gcc_dirs -1 gcc_dir)
set(cxx_headers ${gcc_dir}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${cxx_headers} -isystem ${cxx_headers}/${MINGW_TRIPLE} -isystem ${cxx_headers}/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir} -pthread")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
