#!/usr/bin/env bash
# Formats the project's C++ sources with clang-format 16 and .clang-format
# (16: the first Debian 12 has that puts in missing braces).
#   scripts/format.sh           formats every tracked .cpp and .h in place
#   scripts/format.sh --check   changes nothing; lists the files that differ
#                               and fails if there are any
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=clang-format-16
if ! command -v "$formatter" >/dev/null; then
    echo "SKIP: $formatter is not installed (scripts/setup.sh --tests installs it)"
    exit 77
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "--check" ]]; then
    differ=()
    for file in "${files[@]}"; do
        "$formatter" "$file" | cmp -s - "$file" || differ+=("$file")
    done
    if ((${#differ[@]})); then
        printf 'not formatted (run scripts/format.sh): %s\n' "${differ[@]}"
        exit 1
    fi
    echo "format: ${#files[@]} files as .clang-format has them"
else
    "$formatter" -i "${files[@]}"
fi
