#!/usr/bin/env bash
# Every test again under AddressSanitizer and UBSan (build-asan/); any
# sanitizer report, from a test or from a program it started, fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS
make sanitize
echo "10-sanitizers: $((SECONDS - start)) s"
