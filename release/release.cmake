# How the release's show is linked (SHOW_RELEASE; scripts/make-release.sh packs the result).
# From the system at run time: glibc, libGL, the X11 client libraries, and three libraries the GL
# driver and the desktop load as well: the C++ runtime, libgcc_s and zlib. A copy of ours, older
# than the system's, would be found first and break a newer driver. Packed in lib/ beside the show
# and found through its RPATH: SDL 1.2 (sdl12-compat), SDL2 and libopenmpt with its decoders.
# Linked in from static archives, their symbols hidden so that no library of the system binds to
# our copies: SDL_image with its image codecs, GLEW and GLU.

# Each archive before the ones it needs.
set(RELEASE_STATIC_NAMES SDL_image tiff webp Lerc jbig zstd lzma jpeg deflate png16 GLEW GLU)
set(RELEASE_STATIC_ARCHIVES)
foreach(name ${RELEASE_STATIC_NAMES})
  find_library(RELEASE_STATIC_${name} NAMES lib${name}.a)
  if(NOT RELEASE_STATIC_${name})
    message(FATAL_ERROR "release build: no static lib${name}.a (scripts/install-packages.sh installs it)")
  endif()
  list(APPEND RELEASE_STATIC_ARCHIVES ${RELEASE_STATIC_${name}})
endforeach()

target_link_libraries(showlib PUBLIC PkgConfig::SDL ${RELEASE_STATIC_ARCHIVES} PkgConfig::OPENMPT
  OpenGL::GL X11::X11 z Threads::Threads ${CMAKE_DL_LIBS} m)

# No path of the machine that built it ends up in a binary.
foreach(target showlib demo launcher)
  target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
endforeach()

# DT_RPATH rather than DT_RUNPATH: searched for every library the process loads, also those SDL
# loads at run time, and not overridden by LD_LIBRARY_PATH.
set_target_properties(demo PROPERTIES BUILD_RPATH "\$ORIGIN/../lib" OUTPUT_NAME ${SHOW_NAME})
target_link_options(demo PRIVATE LINKER:--disable-new-dtags LINKER:--exclude-libs,ALL LINKER:--as-needed)

# What make-release.sh needs to know of this build: the show's name and the archives linked in,
# whose licences go into the archive.
set(manifest "name ${SHOW_NAME}\n")
foreach(archive ${RELEASE_STATIC_ARCHIVES})
  string(APPEND manifest "static ${archive}\n")
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/release-manifest.txt ${manifest})
