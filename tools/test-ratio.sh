#!/usr/bin/env bash
# Prints how many non-blank lines the tests take for each non-blank line of
# everything else. Tests: every file under tests/ but the fixtures and the
# fuzz inputs (seeds and regressions). Everything else: the .cpp .h .c .py .sh .cmake
# files and CMakeLists.txt outside tests/. The aim is at most 0.50 (tests a
# third of all lines); this only reports, it does not fail.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files() { git ls-files --cached --others --exclude-standard; }
else
  files() { find . -path './build*' -prune -o -path './.git' -prune -o -type f -print | sed 's|^\./||'; }
fi
nonblank() { xargs -r -d '\n' cat -- | grep -c '[^[:space:]]' || true; }
tests=$(files | grep '^tests/' | grep -v -e '^tests/fixtures/' -e '^tests/fuzz/regressions/' -e '^tests/fuzz/seeds/' | nonblank)
code=$(files | grep -v '^tests/' | grep -E '\.(cpp|h|c|py|sh|cmake)$|(^|/)CMakeLists\.txt$' | nonblank)
awk -v t="$tests" -v c="$code" 'BEGIN {
  printf "test lines: %d tests / %d code = %.2f (aim: at most 0.50)\n", t, c, (c ? t / c : 0)
}'
