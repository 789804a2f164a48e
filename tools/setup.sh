#!/usr/bin/env bash
# Installs whatever the build and the tests need that this machine lacks.
# usage: tools/setup.sh [LIST...]   LIST: a package list like .ci/packages.txt;
# without one, the tool's list and the tests' (.ci/packages-tool.txt, .ci/packages.txt).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=("$here/.ci/packages-tool.txt" "$here/.ci/packages.txt")
mapfile -t wanted < <(cat "${lists[@]}" | grep -v -E '^\s*(#|$)')
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # A fresh machine may still be running its own apt jobs: wait for the
  # lock rather than fail.
  lock=(-o DPkg::Lock::Timeout=600)
  # Packages of another architecture (32-bit Wine is wine32:i386) need it
  # enabled before apt-get update lists them.
  for p in "${missing[@]}"; do
    arch=${p##*:}
    [ "$arch" != "$p" ] || continue
    dpkg --print-foreign-architectures | grep -qx "$arch" || dpkg --add-architecture "$arch"
  done
  apt-get "${lock[@]}" update -qq
  apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi
