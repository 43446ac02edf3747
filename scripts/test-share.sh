#!/usr/bin/env bash
# How much of the code is tests: non-blank, non-comment lines of C++, shell
# and Python under src/ and tests/ (the fuzz corpus aside).
#   scripts/test-share.sh
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    git ls-files -co --exclude-standard -- "$@" | grep -E '\.(cpp|h|sh|py)$' | grep -v '/corpus/' |
        while read -r file; do
            case "$file" in
                *.cpp | *.h)
                    # Drops blank lines, // lines and /* ... */ blocks.
                    sed -e 's#^[[:space:]]*//.*$##' "$file" |
                        awk '/^[[:space:]]*\/\*/ {block=1} !block && NF {n++} /\*\// {block=0} END {print n+0}' ;;
                *) grep -cvE '^[[:space:]]*(#.*)?$' "$file" || true ;;
            esac
        done | awk '{s += $1} END {print s+0}'
}
src=$(count src)
tests=$(count tests)
awk -v s="$src" -v t="$tests" 'BEGIN {
    printf "src %d, tests %d lines: tests are %.1f%% of the total\n", s, t, 100 * t / (s + t) }'
