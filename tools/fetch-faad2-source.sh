#!/usr/bin/env bash
# Unpacks Debian 12's faad2 source package into DIR/faad2 (once; a second run
# finds it there), for the Windows build of the OpenMAX core: Debian ships
# faad2 only as Linux libraries. Uses apt with a private source list, so the
# machine's apt configuration is left as it is.
set -euo pipefail
dir=${1:?usage: fetch-faad2-source.sh DIR}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
[ -f "$dir/faad2/libfaad/decoder.c" ] && exit 0
apt_dir="$dir/apt"
mkdir -p "$apt_dir/lists/partial"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
  > "$apt_dir/sources.list"
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
apt-get "${apt_opts[@]}" update -qq
(cd "$apt_dir" && apt-get "${apt_opts[@]}" source --download-only -qq faad2)
tarball=$(ls "$apt_dir"/faad2_*.orig.tar.* | head -n1)
rm -rf "$dir/faad2.tmp" && mkdir "$dir/faad2.tmp"
tar -xf "$tarball" -C "$dir/faad2.tmp" --strip-components=1
mv "$dir/faad2.tmp" "$dir/faad2"
rm -rf "$apt_dir"
