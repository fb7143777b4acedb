# What both mingw-w64 toolchain files share; DURVO_MINGW_TRIPLET names the target.
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model's library lacks.
set(CMAKE_C_COMPILER ${DURVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DURVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DURVO_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${DURVO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under Wine (CTest and gtest discovery go through it).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
