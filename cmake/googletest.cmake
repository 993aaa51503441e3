# GoogleTest is built from Debian's source package so that the native
# (sanitized) and the MinGW builds both compile it with their own flags.
set(QUILLET_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
if(QUILLET_WIN32)
  # MinGW's posix flavour has std::thread; gtest's own pthread detection is
  # not needed there.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(${QUILLET_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
