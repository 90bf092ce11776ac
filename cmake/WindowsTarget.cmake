# What the Windows build needs from the build machine, built or found for the target: GoogleTest from Debian's
# sources, and the header-only JSON library. find_package() looks in the redirect folder first, so the CMake
# files of the engine and the tests find both by their usual names.
set(redirects ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR})
file(MAKE_DIRECTORY ${redirects})

# nlohmann/json is headers only; only its own folder is offered, as /usr/include holds the build machine's C
# library headers, which must never come before MinGW's.
set(json_include ${CMAKE_BINARY_DIR}/target-include)
file(MAKE_DIRECTORY ${json_include})
if(NOT EXISTS ${json_include}/nlohmann)
  file(CREATE_LINK /usr/include/nlohmann ${json_include}/nlohmann SYMBOLIC)
endif()
file(WRITE ${redirects}/nlohmann_json-config.cmake "
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${json_include})
endif()
")
file(WRITE ${redirects}/nlohmann_json-config-version.cmake "
set(PACKAGE_VERSION 3.11)
set(PACKAGE_VERSION_COMPATIBLE TRUE)
")

if(QUERNFOLD_BUILD_TESTS)
  set(QUERNFOLD_GOOGLETEST_SOURCES /usr/src/googletest CACHE PATH "GoogleTest's sources, built for the target")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QUERNFOLD_GOOGLETEST_SOURCES} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # Its CMake files name the libraries GTest::gtest, GTest::gmock, ... as the installed package does.
  file(WRITE ${redirects}/gtest-config.cmake "set(GTest_FOUND TRUE)\n")
  file(WRITE ${redirects}/gtest-config-version.cmake "set(PACKAGE_VERSION 1.12)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
  # Listing a program's tests means starting Wine: done when ctest runs, not while building.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()

# The zip holds the program at its top, beside the README and the licence.
set(CMAKE_INSTALL_BINDIR .)
