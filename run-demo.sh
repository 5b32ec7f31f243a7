#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up and builds, then transcodes a built-in six-channel test signal with the default
# settings. The output goes to the folder given as $1 (default: demo-output). Also builds the
# window and ends by printing the command that opens it on the demo input.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Everything `cmake --install build` installs: the programs, the GStreamer plugin, the manual
# pages and the bash completion.
cmake --build build -j "$(nproc)" --target tavrisk-cli tavrisk gsttavrisk gsttavriskmp2 tavrisk_pages
out="${1:-demo-output}"
mkdir -p "$out"
build/bin/tavrisk-cli demo "$out"
echo
echo "Open the window on the demo input:"
echo "  build/bin/tavrisk $out/tavrisk-demo-input.wav"
