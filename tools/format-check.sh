#!/usr/bin/env bash
# Checks that every C++ file in the repository is laid out as .clang-format says, without changing
# any: prints where a file differs and fails. To fix them, run clang-format -i on the files named.
#
#   tools/format-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The files under version control; in a copy without git's history, every one outside build/.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
if clang-format --dry-run --Werror --style=file "${files[@]}"; then
    echo "format: ${#files[@]} files laid out as .clang-format says"
else
    echo "format: the files above differ from .clang-format; run clang-format -i on them" >&2
    exit 1
fi
