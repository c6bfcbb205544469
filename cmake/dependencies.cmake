# Third-party libraries, gathered behind one interface target.
# Natively they are Debian's -dev packages; the Windows build finds the copies that
# scripts/build-windows-deps cross-built into KESTRAVA_WINDOWS_DEPS.
if(WIN32)
  set(KESTRAVA_WINDOWS_DEPS "" CACHE PATH "Prefix holding the cross-built dependencies")
  if(NOT EXISTS "${KESTRAVA_WINDOWS_DEPS}/include/tinyxml2.h")
    message(FATAL_ERROR "Cross-built dependencies missing in '${KESTRAVA_WINDOWS_DEPS}': run scripts/setup")
  endif()
  list(PREPEND CMAKE_PREFIX_PATH "${KESTRAVA_WINDOWS_DEPS}")
  list(APPEND CMAKE_FIND_ROOT_PATH "${KESTRAVA_WINDOWS_DEPS}")
endif()

find_package(tinyxml2 CONFIG REQUIRED)
if(WIN32)
  # Windows has no zlib1.dll of its own (wine does, which would hide the fault), so
  # take the static library, also over a build tree configured before.
  find_library(KESTRAVA_STATIC_ZLIB NAMES libz.a REQUIRED)
  set(ZLIB_LIBRARY "${KESTRAVA_STATIC_ZLIB}" CACHE FILEPATH "zlib, linked statically" FORCE)
  set(ZLIB_LIBRARY_RELEASE "${KESTRAVA_STATIC_ZLIB}" CACHE FILEPATH "zlib, linked statically" FORCE)
endif()
find_package(ZLIB REQUIRED)
find_package(libzip CONFIG REQUIRED)
find_path(LIBCONFIG_INCLUDE_DIR libconfig.h REQUIRED)
find_library(LIBCONFIG_LIBRARY NAMES config REQUIRED)
# Ed25519 for the release signatures; libsodium ships no CMake package.
find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
find_library(SODIUM_LIBRARY NAMES libsodium.a sodium REQUIRED)

# Whole-buffer inflate and CRC-32 for package entries that fit a bounded buffer; zlib
# streams the larger ones.
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY NAMES deflate REQUIRED)
# Validation and extraction spread their files over threads.
find_package(Threads REQUIRED)

add_library(kestrava_deps INTERFACE)
target_link_libraries(kestrava_deps INTERFACE tinyxml2::tinyxml2 libzip::zip ZLIB::ZLIB ${LIBCONFIG_LIBRARY}
  ${SODIUM_LIBRARY} ${LIBDEFLATE_LIBRARY} Threads::Threads)
target_include_directories(kestrava_deps SYSTEM INTERFACE ${LIBCONFIG_INCLUDE_DIR} ${SODIUM_INCLUDE_DIR}
  ${LIBDEFLATE_INCLUDE_DIR})

if(WIN32)
  # Static libconfig: its header would otherwise declare every function dllimport.
  target_compile_definitions(kestrava_deps INTERFACE LIBCONFIG_STATIC SODIUM_STATIC)
  target_include_directories(kestrava_deps SYSTEM INTERFACE "${KESTRAVA_WINDOWS_DEPS}/include")
else()
  find_package(nlohmann_json CONFIG REQUIRED)
  target_link_libraries(kestrava_deps INTERFACE nlohmann_json::nlohmann_json)
endif()

# The HTTP client and the delta codec, each in a target of its own so that only their
# users link them.
add_library(kestrava_curl INTERFACE)
if(WIN32)
  # Static, over Schannel. The system libraries are what libcurl.a imports: secur32 is
  # loaded at run time, and the threads are Windows' own (its CMake package also names
  # winmm and pthread, which nothing uses).
  find_path(CURL_INCLUDE_DIR curl/curl.h REQUIRED)
  find_library(CURL_LIBRARY NAMES libcurl.a REQUIRED)
  target_link_libraries(kestrava_curl INTERFACE ${CURL_LIBRARY} ws2_32 crypt32 bcrypt advapi32)
  target_include_directories(kestrava_curl SYSTEM INTERFACE ${CURL_INCLUDE_DIR})
  target_compile_definitions(kestrava_curl INTERFACE CURL_STATICLIB)
else()
  find_package(CURL REQUIRED)
  target_link_libraries(kestrava_curl INTERFACE CURL::libcurl)
endif()

add_library(kestrava_zstd INTERFACE)
find_package(zstd CONFIG REQUIRED)
if(WIN32)
  target_link_libraries(kestrava_zstd INTERFACE zstd::libzstd_static)
else()
  target_link_libraries(kestrava_zstd INTERFACE zstd::libzstd_shared)
endif()
