#!/usr/bin/env bash
# Draws the installer's icon, a cloud with a downward arrow on a blue tile, into an .ico
# holding the ten sizes the stub carries: 256 (stored as PNG), 128, 96, 80, 72, 64, 48,
# 32, 24 and 16 pixels, all 32 bits per pixel with alpha.
# Usage: draw-stub-icon.sh OUTPUT.ico
# The output is the same bytes on every run: no dates, no metadata. Eight bits per
# channel: the PNG image would otherwise keep the tool's 16-bit working depth.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTPUT.ico" >&2; exit 2; }
out=$1
tmp=$out.tmp
convert -size 256x256 xc:none \
  -fill '#1D5FAE' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#2E86DE' -draw 'roundrectangle 8,8 247,200 44,44' \
  -fill white -draw 'circle 96,120 96,72' -draw 'circle 156,104 156,44' \
              -draw 'circle 196,140 196,108' -draw 'roundrectangle 48,120 228,172 26,26' \
  -fill '#1D5FAE' -draw 'rectangle 122,96 146,160' -draw 'polygon 100,156 168,156 134,196' \
  -define icon:auto-resize=256,128,96,80,72,64,48,32,24,16 \
  -depth 8 -define png:exclude-chunks=date,time +set date:create +set date:modify -strip \
  "ico:$tmp" || { echo "draw-stub-icon.sh: convert failed to write $out" >&2; rm -f "$tmp"; exit 1; }
mv -f "$tmp" "$out"
