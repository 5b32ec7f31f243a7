#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the tests and the benchmarks need (only those
# missing).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  # Build: compiler, CMake, pkg-config (which finds the libav* libraries), Ninja.
  build-essential cmake pkg-config ninja-build
  # The AC-3 and AVI readers.
  libavcodec-dev libavformat-dev libavutil-dev
  # The 48000 -> 44100 Hz conversion.
  libsoxr-dev
  # The reference the tests check the loudness meter against.
  libebur128-dev
  # Stretches of an AC-3 stream at another sample rate.
  libswresample-dev
  # Tests (GoogleTest) and benchmarks (Google Benchmark).
  libgtest-dev libbenchmark-dev
  # The thread-sanitizer build (GCC's runtime).
  libtsan2
  # The fuzz build: clang with its libFuzzer and sanitizer runtimes.
  clang libclang-rt-14-dev
  # Reference tools the tests and benchmarks run: ffmpeg and ffprobe, sox, twolame.
  ffmpeg sox twolame
  # The DVD authoring chain the tests run the stream through: mplex and dvdauthor.
  mjpegtools dvdauthor
  # Filter-graph processing: GStreamer and the plugin sets that decode films' soundtracks
  # (base, good, bad, ugly, libav); the tools list and run our sink element.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav
  # The desktop window and its tests (Qt Widgets, Qt Test).
  qt6-base-dev
  # The install test validates the desktop entry with desktop-file-validate, the AppStream
  # metainfo with appstreamcli, and reads the manual pages with man.
  desktop-file-utils appstream man-db
  # The Debian package: CPack's dependency search runs file and dpkg-shlibdeps (dpkg-dev).
  file dpkg-dev
  # Screenshots of the window on a real X server (xvfb-run needs xauth).
  xvfb xauth
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

