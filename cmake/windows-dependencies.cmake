# The libraries the Windows build links statically: zlib, minizip (zlib's contrib/minizip) and libpng,
# and libsndfile for the command-line host. Debian packages them for Linux only, so the build compiles
# Debian's own source packages (zlib, libpng1.6, libsndfile), unpacked by tools/build-windows.sh into
# TARSK_WINDOWS_SOURCES, with the MinGW compilers. The targets carry the names that the Linux build's
# find_package and pkg-config give, so the rest of the build links them the same way.
set(TARSK_WINDOWS_SOURCES "" CACHE PATH "Folder with the unpacked zlib, libpng1.6 and libsndfile source packages")

function(tarsk_source_folder variable pattern)
  file(GLOB found LIST_DIRECTORIES true "${TARSK_WINDOWS_SOURCES}/${pattern}")
  list(FILTER found EXCLUDE REGEX "\\.(dsc|tar\\..*|gz|xz|bz2)$")
  if(NOT found)
    message(FATAL_ERROR "No ${pattern} in TARSK_WINDOWS_SOURCES (${TARSK_WINDOWS_SOURCES}): run tools/build-windows.sh")
  endif()
  list(GET found 0 folder)
  set(${variable} "${folder}" PARENT_SCOPE)
endfunction()

tarsk_source_folder(zlibSource "zlib-*")
tarsk_source_folder(pngSource "libpng1.6-*")
tarsk_source_folder(sndfileSource "libsndfile-*")

# The third-party code is compiled as its makers wrote it: no warnings of ours.
set(thirdPartyOptions -w)

add_library(tarsk_zlib STATIC
  ${zlibSource}/adler32.c ${zlibSource}/compress.c ${zlibSource}/crc32.c ${zlibSource}/deflate.c
  ${zlibSource}/gzclose.c ${zlibSource}/gzlib.c ${zlibSource}/gzread.c ${zlibSource}/gzwrite.c
  ${zlibSource}/infback.c ${zlibSource}/inffast.c ${zlibSource}/inflate.c ${zlibSource}/inftrees.c
  ${zlibSource}/trees.c ${zlibSource}/uncompr.c ${zlibSource}/zutil.c)
target_include_directories(tarsk_zlib SYSTEM PUBLIC ${zlibSource})
target_compile_options(tarsk_zlib PRIVATE ${thirdPartyOptions})
add_library(PkgConfig::ZLIB ALIAS tarsk_zlib)
add_library(ZLIB::ZLIB ALIAS tarsk_zlib)

set(minizipSource ${zlibSource}/contrib/minizip)
add_library(tarsk_minizip STATIC ${minizipSource}/unzip.c ${minizipSource}/ioapi.c)
target_include_directories(tarsk_minizip SYSTEM PUBLIC ${minizipSource})
target_compile_options(tarsk_minizip PRIVATE ${thirdPartyOptions})
target_link_libraries(tarsk_minizip PUBLIC tarsk_zlib)
add_library(PkgConfig::MINIZIP ALIAS tarsk_minizip)

# libpng with its default configuration (the prebuilt pnglibconf.h); the SIMD filters are left out, as
# they need a runtime check that the i686 build must not assume.
set(pngConfigFolder ${CMAKE_BINARY_DIR}/libpng-config)
configure_file(${pngSource}/scripts/pnglibconf.h.prebuilt ${pngConfigFolder}/pnglibconf.h COPYONLY)
add_library(tarsk_png STATIC
  ${pngSource}/png.c ${pngSource}/pngerror.c ${pngSource}/pngget.c ${pngSource}/pngmem.c
  ${pngSource}/pngpread.c ${pngSource}/pngread.c ${pngSource}/pngrio.c ${pngSource}/pngrtran.c
  ${pngSource}/pngrutil.c ${pngSource}/pngset.c ${pngSource}/pngtrans.c ${pngSource}/pngwio.c
  ${pngSource}/pngwrite.c ${pngSource}/pngwtran.c ${pngSource}/pngwutil.c)
target_include_directories(tarsk_png SYSTEM PUBLIC ${pngSource} ${pngConfigFolder})
target_compile_definitions(tarsk_png PRIVATE PNG_INTEL_SSE_OPT=0 PNG_ARM_NEON_OPT=0)
target_compile_options(tarsk_png PRIVATE ${thirdPartyOptions})
target_link_libraries(tarsk_png PUBLIC tarsk_zlib)
add_library(PNG::PNG ALIAS tarsk_png)

# libsndfile with WAV, AIFF and the other built-in containers (no external codec libraries: FLAC
# files are not read or written by the Windows host).
set(BUILD_SHARED_LIBS OFF)
set(BUILD_PROGRAMS OFF CACHE BOOL "" FORCE)
set(BUILD_EXAMPLES OFF CACHE BOOL "" FORCE)
set(ENABLE_EXTERNAL_LIBS OFF CACHE BOOL "" FORCE)
set(ENABLE_MPEG OFF CACHE BOOL "" FORCE)
set(ENABLE_SSE2 OFF CACHE BOOL "" FORCE)  # the i686 host runs where the plug-in runs
set(ENABLE_CPACK OFF CACHE BOOL "" FORCE)
set(ENABLE_PACKAGE_CONFIG OFF CACHE BOOL "" FORCE)
set(INSTALL_PKGCONFIG_MODULE OFF CACHE BOOL "" FORCE)
set(INSTALL_MANPAGES OFF CACHE BOOL "" FORCE)
set(BUILD_REGTEST OFF CACHE BOOL "" FORCE)
# Its own tests stay out: libsndfile's include(CTest) reads the cached BUILD_TESTING (its old policies
# drop a plain variable of that name), so the cache entry is switched off around it and restored.
if(NOT DEFINED CACHE{BUILD_TESTING})
  set(BUILD_TESTING ON CACHE BOOL "Build the testing tree.")
endif()
set(savedBuildTesting ${BUILD_TESTING})
set(BUILD_TESTING OFF CACHE BOOL "Build the testing tree." FORCE)
add_subdirectory(${sndfileSource} ${CMAKE_BINARY_DIR}/libsndfile EXCLUDE_FROM_ALL SYSTEM)
set(BUILD_TESTING ${savedBuildTesting} CACHE BOOL "Build the testing tree." FORCE)
target_compile_options(sndfile PRIVATE ${thirdPartyOptions})
add_library(PkgConfig::SNDFILE ALIAS sndfile)
