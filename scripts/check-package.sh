#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Packs the Debian package of a built tree, installs it on this machine as a user would
# (apt-get, with its dependencies), runs its programs from where it put them and validates
# what it installed, then removes it: nothing it installed may be left. Needs root or sudo.
#   scripts/check-package.sh [BUILD]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
work="$(mktemp -d)"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >/dev/null
package=("$work"/tavrisk_*.deb)
echo "Installing ${package[0]}"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${package[0]}" >/dev/null

remove_package() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove --purge -y -qq tavrisk >/dev/null
}
# Removed again on the way out, also when a check fails.
trap 'remove_package; rm -rf "$work"' EXIT

/usr/bin/tavrisk-cli --version
/usr/bin/tavrisk-cli demo "$work/demo" >/dev/null
# GStreamer finds the plugin in its own folder, without any variable.
env -u GST_PLUGIN_PATH -u GST_PLUGIN_PATH_1_0 -u GST_PLUGIN_SYSTEM_PATH \
  -u GST_PLUGIN_SYSTEM_PATH_1_0 gst-inspect-1.0 tavriskwrapper | grep "License *GPL" >/dev/null
desktop-file-validate /usr/share/applications/tavrisk.desktop
# The screenshot's address is not fetched: the machine may be offline.
appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml >/dev/null
man -l /usr/share/man/man1/tavrisk.1.gz >/dev/null
man -l /usr/share/man/man1/tavrisk-cli.1.gz >/dev/null

remove_package
trap 'rm -rf "$work"' EXIT
left=()
while IFS= read -r file; do
  [ -e "$file" ] || [ -L "$file" ] && left+=("$file")
done < <(dpkg-deb -c "${package[0]}" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}')
if [ ${#left[@]} -gt 0 ]; then
  echo "Left after removing the package: ${left[*]}" >&2
  exit 1
fi
echo "Package installed, used and removed without a trace"
