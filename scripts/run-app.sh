#!/usr/bin/env bash
# Installs what is missing, builds the application and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset release
cmake --build --preset release --target norvane
exec build/release/src/norvane "$@"
