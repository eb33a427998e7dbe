# The Debian package: cpack -G DEB in the build folder writes zerbex2_VERSION_ARCH.deb.

set(ZERBEX_MAINTAINER "Zerbex 2 maintainers <zerbex2@hollenby.com>"
  CACHE STRING "Maintainer of the Debian package")

# What Debian asks of every package's documentation folder: the copyright and a compressed
# changelog, named as for a package made here rather than from a separate upstream (built
# without name or time stamp, so the package is reproducible).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(ZERBEX_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/package/changelog.gz)
add_custom_command(
  OUTPUT ${ZERBEX_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_CURRENT_LIST_DIR}/deb/changelog > ${ZERBEX_CHANGELOG_GZ}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/deb/changelog)
add_custom_target(zerbex_package_docs ALL DEPENDS ${ZERBEX_CHANGELOG_GZ})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/deb/copyright ${ZERBEX_CHANGELOG_GZ}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zerbex2)
set(CPACK_PACKAGE_VENDOR Hollenby)
set(CPACK_PACKAGE_CONTACT "${ZERBEX_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL https://www.hollenby.com/zerbex2/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vocal-removal workstation for audio files")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZERBEX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Key and tempo: SoundTouch (LGPL-2.1), the system's shared library, which a user may replace;
# loudness on writes: libebur128 (MIT). Named as well as found, so that the package says it
# needs them even where dpkg-shlibdeps finds less. The stereo mode's transforms (PFFFT) are built in; their notice is in the copyright.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsoundtouch1, libebur128-1")
# The synopsis is the summary above; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zerbex 2 plays an audio file live in eight modes (original, vocal
removal 1 and 2, stereo, low, high, left, right) while trackbars move the pan,
the two filter cut-offs, the channel and output levels, the loop region,
the play position, the key and the tempo; or it writes a processed copy
as WAV, FLAC, MP3, AAC, Opus or Ogg Vorbis. A WAV copy of a WAV keeps
every chunk byte for byte except the samples.
.
The package holds the window program zerbex2, the command-line tool
zerbex2-cli and the user manual.")
include(CPack)
