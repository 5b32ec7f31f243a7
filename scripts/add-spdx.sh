#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence's SPDX line at the top of every source file of the checkout that lacks it:
# C and C++ files get "// SPDX-...", CMake, shell and Python files "# SPDX-..." (after the
# "#!" line of a script). Running it again changes nothing. cmake/CheckSpdx.cmake checks it.
#   scripts/add-spdx.sh [FOLDER]   (default: the checkout this script is in)
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"
identifier="SPDX-License-Identifier: GPL-3.0-or-later"

# The files, from git when the folder is a checkout (so that build folders are left alone).
list_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z
  else
    find . -path ./build -prune -o -path './build-*' -prune -o -path './.*' -prune -o \
      -type f -print0 | sed -z 's|^\./||'
  fi
}

added=0
while IFS= read -r -d '' file; do
  case "$file" in
    *.h | *.cpp | *.c) comment="//" ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | *.py) comment="#" ;;
    *) continue ;;
  esac
  [ -f "$file" ] || continue
  head -n 2 "$file" | grep -q "SPDX-License-Identifier:" && continue
  line="$comment $identifier"
  tmp="$(mktemp "$file.XXXXXX")"
  if head -n 1 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; echo "$line"; tail -n +2 "$file"; } >"$tmp"
  else
    { echo "$line"; cat "$file"; } >"$tmp"
  fi
  chmod --reference="$file" "$tmp"
  mv "$tmp" "$file"
  added=$((added + 1))
done < <(list_files)
echo "SPDX line added to $added files"
