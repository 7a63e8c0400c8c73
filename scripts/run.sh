#!/usr/bin/env bash
# Installs what is missing, builds and starts Corvane; arguments go to Corvane.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target corvane
exec "$root/build/corvane" "$@"
