# The same sources as a 64-bit Windows program, for machines whose kernel runs
# no 32-bit code (and so no 32-bit Wine).
set(MORVI_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
