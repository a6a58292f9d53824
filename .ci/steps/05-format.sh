#!/usr/bin/env bash
# Every C++ source as clang-format (.clang-format) writes it.
set -euo pipefail
cd "$(dirname "$0")/../.."
format=$(command -v clang-format-14 || command -v clang-format)
git ls-files '*.cpp' '*.h' | grep -v '^src/resources/' | xargs "$format" --dry-run --Werror
echo "05-format: ok"
