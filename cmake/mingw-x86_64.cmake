# The same Windows sources as a 64-bit program. It is not the product: it exists for machines
# whose processor cannot run 32-bit code, where Wine can then still test the Win32 backend.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(UPDATER_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
