#!/usr/bin/env bash
# Every C++ file of the repository as the repository's .clang-format lays it
# out. Prints each file that differs and exits 1; `clang-format -i FILE`
# mends one.
# Usage: scripts/check-format.sh [REPOSITORY]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
if ! command -v clang-format >/dev/null; then
    echo "clang-format is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi
unformatted=0
checked=0
while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
        echo "not formatted: $file"
        unformatted=$((unformatted + 1))
    fi
done < <(find src apps tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) -print0)
echo "$checked files read, $unformatted not formatted"
[ "$unformatted" -eq 0 ]
