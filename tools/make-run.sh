#!/usr/bin/env bash
# `make run`: vectorizes the committed sketch by default, or runs penvex with the given args.
set -euo pipefail
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
shift
if [ $# -gt 0 ]; then
  exec "$binary" "$@"
fi
echo "$ $binary --help"
"$binary" --help
