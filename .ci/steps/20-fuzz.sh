#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for
# 30 seconds from its seed corpus; a crash, leak or sanitizer report fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
start=$SECONDS
make fuzz FUZZ_SECONDS=30
echo "20-fuzz: $((SECONDS - start)) s"
