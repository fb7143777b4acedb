# Toolchain for the 32-bit Windows build. On 32-bit x86 WINAPI (__stdcall) and the C calling
# convention differ, so a function pointer declared without WINAPI breaks here and nowhere else.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DURVO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
