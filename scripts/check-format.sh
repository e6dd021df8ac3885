#!/usr/bin/env bash
# Fails when a tracked C++ source or header differs from what clang-format-14 makes of it with
# the repository's .clang-format, and lists those files. Fix them with `clang-format-14 -i <file>`.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

files=()
while IFS= read -r -d '' file; do
  [ -f "$file" ] && files+=("$file")  # a tracked file deleted in the working tree is skipped
done < <(git ls-files -z -- '*.cpp' '*.h')

# One run over all files; each place that differs is reported as "<file>:<line>:<col>: error: ...".
status=0
report=$(clang-format-14 --dry-run --Werror "${files[@]}" 2>&1) || status=$?
pattern='^(.+):[0-9]+:[0-9]+: (error|warning): code should be clang-formatted.*'
drifted=$(sed -n -E "s/$pattern/\\1/p" <<<"$report" | sort -u)

if [ -n "$drifted" ]; then
  echo "Not formatted with clang-format-14 ($(wc -l <<<"$drifted") files):" >&2
  sed 's/^/  /' <<<"$drifted" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "clang-format-14 failed:" >&2
  echo "$report" >&2
  exit "$status"
fi
echo "All ${#files[@]} C++ files are formatted."
