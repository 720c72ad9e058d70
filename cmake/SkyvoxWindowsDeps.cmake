# The dependencies of a cross-build for Windows. Debian ships no mingw-w64 builds of them, so the
# header-only ones (standalone Asio, CLI11, nlohmann-json) are taken from the build machine's
# /usr/include through a folder that holds only them (the rest of /usr/include is glibc's and must
# stay out of sight), and GoogleTest is built from the sources Debian ships in /usr/src/googletest.

set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${host_headers})
foreach(header IN ITEMS asio.hpp asio CLI nlohmann)
  find_path(skyvox_${header}_root NAMES ${header} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT skyvox_${header}_root)
    message(FATAL_ERROR "/usr/include/${header} is missing: install libasio-dev, libcli11-dev and nlohmann-json3-dev")
  endif()
  if(NOT EXISTS ${host_headers}/${header})
    file(CREATE_LINK ${skyvox_${header}_root}/${header} ${host_headers}/${header} SYMBOLIC)
  endif()
endforeach()

add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${host_headers})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${host_headers})
set(skyvox_asio_includes ${host_headers})

if(SKYVOX_TESTS)
  set(googletest_sources /usr/src/googletest)
  if(NOT EXISTS ${googletest_sources}/CMakeLists.txt)
    message(FATAL_ERROR "${googletest_sources} is missing: install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${googletest_sources} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(library IN ITEMS gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endif()
