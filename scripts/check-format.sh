#!/usr/bin/env bash
# Checks that every C++ source and header is formatted as .clang-format says; lists the files
# that are not and fails. Fix with: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.hpp' '*.h' |
    while read -r f; do [[ -f $f ]] && echo "$f"; done)
else
  mapfile -t files < <(find app bench src tests tools -name '*.cpp' -o -name '*.hpp' -o -name '*.h')
fi

unformatted=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then unformatted+=("$f"); fi
done
if ((${#unformatted[@]})); then
  echo "Not formatted (clang-format -i FILE):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "${#files[@]} files formatted"
