#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
if [ -x build/app/quorvelle ]; then
    exec build/app/quorvelle "$@"
fi
echo "Everything is built; the main window comes later, so there is no program to start yet."
