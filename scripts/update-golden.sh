#!/bin/sh
# Regenerates the golden feeds tests/golden/NAME.EXT from examples/NAME.html
# (single-file mode, run from the repository root so that the channel link
# reads "examples/NAME.html") and shows how they changed. EXT names the
# format: .rss is the default RSS 0.91, any other extension is given to
# --format (weblog.atom: --format atom); NAME.modern.EXT is the feed of
# examples/NAME.html with --modern. Review the diff before committing:
# a golden feed changes only when the output is meant to.
# Usage: scripts/update-golden.sh [WEBLOG2RSS_BIN]   (default: build/weblog2rss)
set -eu
cd "$(dirname "$0")/.."
bin=$(readlink -f "${1:-build/weblog2rss}")
for golden in tests/golden/*.*; do
    file=$(basename "$golden")
    name=${file%.*} ext=${file##*.} mode=
    case $name in *.modern) name=${name%.modern} mode=--modern ;; esac
    if [ "$ext" = rss ]; then
        "$bin" $mode "examples/$name.html" >"$golden"
    else
        "$bin" $mode --format "$ext" "examples/$name.html" >"$golden"
    fi
done
if git diff --quiet -- tests/golden; then
    echo "golden feeds unchanged"
else
    git diff --stat -- tests/golden
    git diff -- tests/golden
fi
