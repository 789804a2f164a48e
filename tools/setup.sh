#!/usr/bin/env bash
# Installs whatever the build and the tests need that this machine lacks.
# usage: tools/setup.sh [LIST]   LIST: a package list like .ci/packages.txt (the default)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
list=${1:-$here/.ci/packages.txt}
mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$list")
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
  apt-get "${lock[@]}" update -qq
  apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi
