#!/usr/bin/env bash
# Static checks over our sources: the folders include each other one way
# only (scripts/check-layers.sh), the tree is formatted (.clang-format),
# cppcheck finds nothing in the engine and the front ends, and clang-tidy
# (the short list in .clang-tidy) finds nothing either. Needs the host
# build's compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "layers"
scripts/check-layers.sh

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

echo "cppcheck"
cppcheck --quiet --enable=warning,performance,portability --std=c++20 \
  --error-exitcode=1 --inline-suppr -I . \
  base records scan ata defs report sim app/shell app/cli app/log_option.cpp

# clang does not take -fexec-charset=CP932 (it reads and writes UTF-8
# only); the checks do not depend on the execution character set.
mkdir -p build/tidy
python3 - <<'PY'
import json
commands = json.load(open("build/host/compile_commands.json"))
kept = []
for c in commands:
    if any(part in c["file"] for part in ("/build/", "/tests/", "/bench/", "/fuzz/")):
        continue
    c["command"] = c["command"].replace("-fexec-charset=CP932", "")
    kept.append(c)
json.dump(kept, open("build/tidy/compile_commands.json", "w"))
PY
mapfile -t units < <(python3 -c \
  "import json; print('\n'.join(c['file'] for c in json.load(open('build/tidy/compile_commands.json'))))")
echo "clang-tidy: ${#units[@]} files"
printf '%s\n' "${units[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p build/tidy --quiet 2> >(grep -v 'warnings generated' >&2)
echo "static checks passed"
