#!/usr/bin/env bash
# Renders the committed PNGs of the icon, so the build itself needs no SVG tool.
# Run it after changing an SVG here (needs rsvg-convert, package librsvg2-bin).
# The small sizes have their own drawings on the pixel grid (src/); the rest
# are scaled from velmora.svg.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    source=velmora.svg
    [ -f "src/velmora-$size.svg" ] && source="src/velmora-$size.svg"
    mkdir -p "hicolor/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" "$source" -o "hicolor/${size}x${size}/apps/velmora.png"
done
