# The Debian package (cpack -G DEB in the build directory, or scripts/package.sh):
# the program, the content tools under kestrel-* names, the data, the manual
# page, the desktop entry and the generated icon. The dependencies are worked
# out from the binaries by dpkg-shlibdeps; the version is the program's own.
include(GNUInstallDirs)

# The version --version prints, read from the option table's source.
file(STRINGS ${CMAKE_SOURCE_DIR}/app/options.cpp KESTREL_VERSION_LINE REGEX "programVersion = \"[0-9.]+\"")
string(REGEX MATCH "[0-9][0-9.]*" KESTREL_VERSION "${KESTREL_VERSION_LINE}")
if(NOT KESTREL_VERSION)
  message(FATAL_ERROR "no programVersion in app/options.cpp")
endif()

# The tools keep their build names (the tests call them so) and are installed
# as kestrel-*; install(PROGRAMS) does not strip, so the stripping that
# install(TARGETS) does for the program is done for them here.
set(KESTREL_TOOL_NAMES kestrel_gen:kestrel-gen soundtrack:kestrel-soundtrack tracktool:kestrel-tracktool)
if(KESTREL_TOOLS)
  foreach(pair ${KESTREL_TOOL_NAMES})
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 target)
    list(GET pair 1 installed)
    install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${installed})
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND ${CMAKE_STRIP} \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${installed}\")
    endif()")
  endforeach()
  install(FILES ${CMAKE_BINARY_DIR}/kestrel.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
endif()

# Debian wants manual pages and changelogs compressed with gzip -9n (no name,
# no time stamp, so the package is reproducible).
set(PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(MAN_PAGES kestrel.1)
if(KESTREL_TOOLS)
  list(APPEND MAN_PAGES kestrel-gen.1 kestrel-soundtrack.1 kestrel-tracktool.1)
endif()
set(PACKAGING_GZ)
foreach(f ${MAN_PAGES} changelog)
  add_custom_command(OUTPUT ${PACKAGING_OUT}/${f}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PACKAGING_OUT}
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/packaging/${f} ${PACKAGING_OUT}/${f}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${f}
    VERBATIM)
  list(APPEND PACKAGING_GZ ${PACKAGING_OUT}/${f}.gz)
  if(f MATCHES "[.]1$")
    install(FILES ${PACKAGING_OUT}/${f}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${PACKAGING_GZ})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kestrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${PACKAGING_OUT}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kestrel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${KESTREL_VERSION})
set(KESTREL_MAINTAINER "Kestrel developers <kestrel@example.org>" CACHE STRING "The package's Maintainer field")
set(CPACK_PACKAGE_CONTACT "${KESTREL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time demo with nine 3D scenes and their soundtrack")
# CPack writes the synopsis line and indents these paragraphs itself.
set(CPACK_PACKAGE_DESCRIPTION "Kestrel plays its show, barnstomp: a soundtrack and nine 3D scenes rendered
in step with it through OpenGL. It also renders the show offline into PNG
frames with the music as WAV, or into an MP4 file through ffmpeg.

The package holds the program, its data, and the content tools that made
that data (kestrel-gen, kestrel-soundtrack, kestrel-tracktool).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ffmpeg is run for .mp4 captures only: a suggestion, not a dependency.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_GENERATE_MD5SUMS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
