#!/bin/sh
# Regenerates the golden feeds tests/golden/NAME.rss from examples/NAME.html
# (single-file mode, run from the repository root so that the channel link
# reads "examples/NAME.html") and shows how they changed. Review the diff
# before committing: a golden feed changes only when the output is meant to.
# Usage: scripts/update-golden.sh [WEBLOG2RSS_BIN]   (default: build/weblog2rss)
set -eu
cd "$(dirname "$0")/.."
bin=$(readlink -f "${1:-build/weblog2rss}")
for golden in tests/golden/*.rss; do
    name=$(basename "$golden" .rss)
    "$bin" "examples/$name.html" >"$golden"
done
if git diff --quiet -- tests/golden; then
    echo "golden feeds unchanged"
else
    git diff --stat -- tests/golden
    git diff -- tests/golden
fi
