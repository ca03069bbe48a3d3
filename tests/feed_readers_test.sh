#!/bin/sh
# Makes RSS 2.0, Atom and JSON Feed feeds of the bundled example pages and of
# the shared corpora (when present; with and without --modern) and gives
# them all to the real feed
# readers of SHARED/feed-readers in strict mode: every reader of a format
# must read every feed whole (every item with its title, link and right
# date), and xmllint must find every XML feed well-formed.
#
# Usage: feed_readers_test.sh TOOL [SHARED]
#   SHARED holds feed-readers/ and corpus/<name>/ (default: ../shared beside
#   the repository).
# The test installs nothing: when a reader is missing it exits 77 (skipped),
# unless READERS_INSTALL=1 lets the harness install what it needs.
# Exit status: 0 every feed read whole, 1 a shortfall or a failed run,
# 2 usage, 77 skipped.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 TOOL [SHARED]" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$(readlink -f "$1")
shared=${2:-$here/../shared}
readers=$shared/feed-readers
skip() { echo "feed readers test skipped: $*" >&2; exit 77; }

[ -x "$readers/run.sh" ] || skip "no harness at $readers"
if [ "${READERS_INSTALL:-0}" != 1 ]; then
    for p in python3-feedparser newsboat libxml2-utils; do
        dpkg -s "$p" >/dev/null 2>&1 || skip "Debian package $p is not installed"
    done
    command -v npm >/dev/null 2>&1 || skip "npm is not installed"
    nd=${CLIENTS_NODE_DIR:-/tmp/feed-clients-node}
    { cmp -s "$readers/package-lock.json" "$nd/package-lock.json" && [ -d "$nd/node_modules" ]; } ||
        skip "the npm readers are not installed in $nd"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "feed readers test: $*" >&2; exit 1; }
dirs=""
for format in rss2 atom json; do
    d=$work/$format-examples
    mkdir "$d"
    for page in "$here"/examples/*.html; do
        "$tool" --format "$format" "$page" >"$d/$(basename "$page" .html)" ||
            fail "$format feed of $page"
        "$tool" --modern --format "$format" "$page" >"$d/$(basename "$page" .html).modern" ||
            fail "$format --modern feed of $page"
    done
    dirs="$dirs $d"
    for c in weblogs modern; do
        [ -f "$shared/corpus/$c/urls.txt" ] || continue
        # The default reading and the extraction mode (--modern).
        for mode in default modern; do
            d=$work/$format-$c-$mode
            mkdir "$d"
            opt=
            [ $mode = modern ] && opt=--modern
            # shellcheck disable=SC2086  # an empty option is no argument
            "$tool" $opt --format "$format" "$shared/corpus/$c/urls.txt" "$shared/corpus/$c/pages" "$d" \
                >"$d.log" 2>"$d.err" || fail "$format $mode batch of $c"
            [ ! -s "$d.err" ] || { cat "$d.err" >&2; fail "$format $mode batch of $c"; }
            dirs="$dirs $d"
        done
    done
done
# shellcheck disable=SC2086  # the folder list splits on purpose
"$readers/run.sh" $dirs --strict --out "$work/readers" || fail "a reader did not read a feed whole"
