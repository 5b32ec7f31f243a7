#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package (tavrisk_VERSION_ARCH.deb) into BUILD/package from a configured
# build folder (default: build, as ./run-demo.sh and ./run-tests.sh make it): what the package
# installs is built first, then CPack packs it.
#   scripts/package.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" -j "$(nproc)" --target tavrisk tavrisk-cli gsttavrisk gsttavriskmp2 tavrisk_pages
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/package"
