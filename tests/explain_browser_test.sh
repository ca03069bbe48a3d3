#!/bin/sh
# Opens an explanation report in headless Chromium and checks that it
# rendered: the report's title and its entries table are in the page's DOM,
# and the screenshot is not blank.
#   usage: explain_browser_test.sh REPORT.html [SCREENSHOT.png]
# Exits 77 (skipped) where no Chromium is installed; install it with
# scripts/install-browser-deps.sh.
set -eu
[ $# -ge 1 ] && [ -f "$1" ] || { echo "usage: $0 REPORT.html [SCREENSHOT.png]" >&2; exit 2; }
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
    echo "explain_browser_test: no chromium installed, skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
shot=${2:-$work/shot.png}
url="file://$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"

# A fresh profile per run; nothing reaches the network. The sandboxed frame
# is kept in the report's process and every stage drawn before the capture,
# or the screenshot may be taken before the frame's page is painted.
run() {
    profile=$(mktemp -d "$work/profile.XXXXXX")
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic \
        --no-first-run --disable-background-networking --disable-component-update \
        --disable-sync --hide-scrollbars --disable-features=IsolateSandboxedIframes \
        --run-all-compositor-stages-before-draw --user-data-dir="$profile" "$@" "$url"
}

fail() { echo "explain_browser_test: $*" >&2; exit 1; }

run --dump-dom >"$work/dom.html" 2>"$work/dom.err" || { cat "$work/dom.err" >&2; fail "chromium --dump-dom failed"; }
grep -q '<title>weblog2rss explanation' "$work/dom.html" || fail "no report title in the DOM"
grep -q '<table id="entries">' "$work/dom.html" || fail "no entries table in the DOM"
# The page's own markup stays inside the frame, and none of its scripts ran.
[ "$(grep -o '<iframe' "$work/dom.html" | wc -l)" -eq 1 ] || fail "not exactly one frame in the DOM"
grep -q '<iframe sandbox=""' "$work/dom.html" || fail "the page frame is not sandboxed"
grep -q '<title>ran</title>' "$work/dom.html" && fail "a script of the page ran"

rm -f "$shot"
run --window-size=1000,800 --screenshot="$shot" >"$work/shot.log" 2>&1 || { cat "$work/shot.log" >&2; fail "chromium --screenshot failed"; }
[ -s "$shot" ] || fail "no screenshot written"

# Not blank: the decoded pixels hold several colours, and more than 1% of
# them differ from the most common one (the background).
python3 - "$shot" <<'PY' || fail "screenshot is blank"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
pos, idat, head = 8, b"", None
while pos < len(data):
    size, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + size]
    if kind == b"IHDR":
        head = struct.unpack(">IIBBBBB", body)
    elif kind == b"IDAT":
        idat += body
    pos += 12 + size
width, height, depth, colour, _, _, interlace = head
assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG form"
bpp = 3 if colour == 2 else 4
raw, stride = zlib.decompress(idat), width * bpp
prev, counts = bytearray(stride), {}
for y in range(height):
    kind = raw[y * (stride + 1)]
    line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride):
        a = line[x - bpp] if x >= bpp else 0
        b, c = prev[x], prev[x - bpp] if x >= bpp else 0
        if kind == 1: line[x] = (line[x] + a) & 255
        elif kind == 2: line[x] = (line[x] + b) & 255
        elif kind == 3: line[x] = (line[x] + (a + b) // 2) & 255
        elif kind == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    for x in range(0, stride, bpp):
        px = bytes(line[x:x + bpp])
        counts[px] = counts.get(px, 0) + 1
    prev = line
background = max(counts.values())
other = width * height - background
print("screenshot %dx%d: %d colours, %.1f%% not background" % (width, height, len(counts), 100.0 * other / (width * height)))
sys.exit(0 if len(counts) >= 3 and other * 100 > width * height else 1)
PY
echo "explain_browser_test: $1 rendered"
