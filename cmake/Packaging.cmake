# SPDX-License-Identifier: GPL-3.0-or-later
# What a Debian package holds besides the programs (the licence, the AppStream metainfo), and
# the package itself: `cpack -G DEB` in the build folder writes tavrisk_VERSION_ARCH.deb.
include(GNUInstallDirs)
# Installing (and packing) takes what is built, without building every test and benchmark
# first: scripts/package.sh and ./run-demo.sh build what is installed.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(TAVRISK_APPSTREAM_ID "org.example.tavrisk")
# The media types the metainfo provides are those the desktop entry opens.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/tavrisk.desktop mimeLine REGEX "^MimeType=")
# (file(STRINGS) keeps the line's semicolons escaped.)
string(REGEX REPLACE "^MimeType=|\\\\;$" "" mimeTypes "${mimeLine}")
string(REPLACE "\\;" ";" mimeTypes "${mimeTypes}")
set(TAVRISK_METAINFO_MEDIATYPES "")
foreach(type ${mimeTypes})
  string(APPEND TAVRISK_METAINFO_MEDIATYPES "    <mediatype>${type}</mediatype>\n")
endforeach()
string(STRIP "${TAVRISK_METAINFO_MEDIATYPES}" TAVRISK_METAINFO_MEDIATYPES)
set(TAVRISK_METAINFO ${PROJECT_BINARY_DIR}/packaging/${TAVRISK_APPSTREAM_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/packaging/tavrisk.metainfo.xml.in ${TAVRISK_METAINFO} @ONLY)
install(FILES ${TAVRISK_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Debian keeps a package's licence as its copyright file.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

set(CPACK_PACKAGE_NAME tavrisk)
set(CPACK_PACKAGE_VENDOR "Tavrisk maintainers")
set(CPACK_PACKAGE_CONTACT "${TAVRISK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "transcoder of 5.1 film sound to multichannel MP2 and WAV")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Tavrisk reads the six-channel soundtrack of a film (AC-3, DTS, E-AC-3, AAC or FLAC, "
       "alone or in a VOB, Matroska, MP4 or AVI file, or a six-channel WAV file), routes, "
       "gains, normalises and compresses its channels, and writes an MPEG-2 multichannel "
       "Layer II stream for DVD authoring, a six-channel WAV file or six mono files. It has a "
       "desktop window (tavrisk) and a command line (tavrisk-cli), and adds its GStreamer "
       "elements to the system's plugins.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TAVRISK_HOMEPAGE}")
# FFmpeg's libraries are loaded when first used, so dpkg-shlibdeps does not see them: their
# packages are named here, for the versions the programs were built with.
set(TAVRISK_FFMPEG_PACKAGES "")
foreach(library avcodec avformat avutil swresample)
  string(REGEX MATCH "^[0-9]+" major "${FFMPEG_lib${library}_VERSION}")
  string(APPEND TAVRISK_FFMPEG_PACKAGES ", lib${library}${major}")
endforeach()
# The libraries the programs and the plugin link, found by dpkg-shlibdeps ...
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ... and the GStreamer plugins the graph loads by name: decodebin, typefind, audioconvert and
# audioresample (base), the Matroska, MP4, AVI and WAV demuxers, the AC-3, DTS, FLAC and AAC
# parsers and autoaudiosink (good), the MPEG program and transport stream demuxers of VOBs and
# .ts files (bad), and the libav decoders of AAC and of what our own decoder does not take
# (libav), and FFmpeg's libraries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-libav${TAVRISK_FFMPEG_PACKAGES}")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "dvdauthor, mjpegtools")
include(CPack)
