#!/usr/bin/env bash
# Formats every C++ file of the project with the checked-in .clang-format,
# or with --check only reports the files that differ (and fails if any do).
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
[ "${1:-}" = "--check" ] && check=1

command -v clang-format >/dev/null || {
    echo "clang-format is not installed (Debian package clang-format; make test installs it)" >&2
    exit 2
}

# The tracked files in a clone; every file outside build folders otherwise.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.hpp' '*.cc')
else
    mapfile -t files < <(find . -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print |
        sed 's|^\./||' | sort)
fi

if [ "$check" = 0 ]; then
    printf '%s\0' "${files[@]}" | xargs -0 -r clang-format -i
    echo "formatted ${#files[@]} files"
    exit 0
fi

# One run over all files names every file that differs (with --Werror
# clang-format stops at the first); each is then confirmed as an error.
mapfile -t named < <(printf '%s\0' "${files[@]}" | xargs -0 -r clang-format --dry-run 2>&1 |
    sed -n 's/^\(.*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
differ=()
for f in "${named[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || differ+=("$f")
done
if [ "${#differ[@]}" -gt 0 ]; then
    echo "These files are not formatted (make format formats them):"
    shown=0
    for f in "${differ[@]}"; do
        echo "  $f"
        # The start of what would change, for the first few files.
        if [ "$shown" -lt 5 ]; then
            { clang-format "$f" | diff -u "$f" - || true; } | sed -n '3,14p' | sed 's/^/      /'
            shown=$((shown + 1))
        fi
    done
    echo "${#differ[@]} of ${#files[@]} files are not formatted"
    exit 1
fi
echo "all ${#files[@]} files formatted"
