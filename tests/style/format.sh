#!/usr/bin/env bash
# format.sh SOURCE: every C++ file of the tree as clang-format (SOURCE/.clang-format) writes it.
# `make format` rewrites them so.
set -euo pipefail
cd "$1"
if git rev-parse --git-dir >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print)
fi
present=()
for f in "${files[@]}"; do
    [ -f "$f" ] && present+=("$f")
done
if ! clang-format --dry-run --Werror "${present[@]}"; then
    echo "format: the files above differ from what clang-format writes (make format fixes them)" >&2
    exit 1
fi
echo "format: ${#present[@]} files as clang-format writes them"
