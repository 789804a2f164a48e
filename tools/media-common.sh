# What the scripts that make test media share; sourced with the output
# folder (relative to the tree) as $1. Sets here (the tree), out (created)
# and work (a scratch folder removed on exit); ff runs ffmpeg quietly, and
# exact makes its output bit-exact (no encoder strings or dates).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out="$here/$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
exact=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact)
