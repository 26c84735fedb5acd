# Builds libpng 1.6 as a static library from Debian's upstream tarball for the
# Windows cross build. The tarball is fetched once into the build tree with
# `apt-get source --download-only` (deb-src entries are enabled by
# scripts/install-deps) and reused on later configures.

function(brightfall_build_libpng zlib_library zlib_include)
  set(deps ${CMAKE_BINARY_DIR}/_deps/libpng)
  file(MAKE_DIRECTORY ${deps})
  file(GLOB tarball ${deps}/libpng1.6_*.orig.tar.*)
  if(NOT tarball)
    message(STATUS "Fetching Debian's libpng1.6 source")
    execute_process(
      COMMAND apt-get source --download-only libpng1.6
      WORKING_DIRECTORY ${deps}
      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    file(GLOB tarball ${deps}/libpng1.6_*.orig.tar.*)
    if(NOT tarball)
      message(FATAL_ERROR "Could not fetch libpng1.6 source (${rc}): ${err}\n"
                          "Run scripts/install-deps first (it enables deb-src).")
    endif()
  endif()
  list(GET tarball 0 tarball)

  set(src ${deps}/src)
  if(NOT EXISTS ${src}/png.c)
    file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${deps}/extract)
    file(GLOB top ${deps}/extract/libpng-*)
    file(REMOVE_RECURSE ${src})
    file(RENAME ${top} ${src})
  endif()
  configure_file(${src}/scripts/pnglibconf.h.prebuilt
                 ${deps}/include/pnglibconf.h COPYONLY)
  foreach(h png.h pngconf.h)
    configure_file(${src}/${h} ${deps}/include/${h} COPYONLY)
  endforeach()

  set(names png pngerror pngget pngmem pngpread pngread pngrio pngrtran
            pngrutil pngset pngtrans pngwio pngwrite pngwtran pngwutil)
  list(TRANSFORM names PREPEND ${src}/)
  list(TRANSFORM names APPEND .c)
  add_library(brightfall_png_static STATIC ${names})
  target_include_directories(brightfall_png_static
    PRIVATE ${src} ${zlib_include}
    PUBLIC ${deps}/include)
  # Third-party code: built as published, its warnings are not ours.
  target_compile_options(brightfall_png_static PRIVATE -w -msse2 -mfpmath=sse)
  target_compile_definitions(brightfall_png_static PRIVATE PNG_INTEL_SSE_OPT=0)
  target_link_libraries(brightfall_png_static PUBLIC ${zlib_library})

  add_library(brightfall_png INTERFACE)
  target_link_libraries(brightfall_png INTERFACE brightfall_png_static)
endfunction()
