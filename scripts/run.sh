#!/usr/bin/env bash
# `make run`: starts Tikora's window. It needs a graphical desktop (X11 or
# Wayland); on a machine without one it says so and stops.
set -euo pipefail
build=${1:-build}
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "make run: no display here (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Tikora is a desktop program: run 'make run' in a desktop session, or try" >&2
    echo "'$build/tikora-cli check time.nist.gov' in this terminal (it never sets the clock)." >&2
    exit 1
fi
exec "$build/tikora"
