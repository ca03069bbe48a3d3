#!/bin/bash
# Quality against hand labels: converts each labelled corpus with the
# default reading and with --modern, scores the feeds with the corpus's
# score.py and prints one table per corpus: of the pages that list dated
# posts, the share with a feed, with the exact item count, with the right
# first title and the right first date, and the share of items that link to
# their entry rather than the page; then the feeds made on pages that list
# no posts (single posts, other pages).
#
# Columns: pages (that list two or more dated posts), feed, exact, title,
# date, links, and "no-post feeds" (feeds made / pages listing no posts).
#
# Usage: bench/quality.sh [TOOL] [--rows]
#   TOOL     defaults to build/weblog2rss
#   --rows   also print score.py's row per page that misses something
# Environment: SHARED (default ../shared beside the repository) holds
# corpus/score.py and corpus/<name>/{labels.tsv,urls.txt,pages}; CORPORA
# (default "weblogs modern") names the corpora; MODES (default "default
# modern") the readings, "default" meaning no option.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$here/build/weblog2rss
rows=0
for arg in "$@"; do
    case $arg in
    --rows) rows=1 ;;
    -h | --help) sed -n '2,20p' "$0"; exit 0 ;;
    *) tool=$arg ;;
    esac
done
tool=$(readlink -f "$tool")
[ -x "$tool" ] || { echo "quality: no tool at $tool" >&2; exit 2; }
shared=$(readlink -f "${SHARED:-$here/../shared}")
score=$shared/corpus/score.py
[ -f "$score" ] || { echo "quality: no scorer at $score" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One table row from score.py's summary line.
row() {
    python3 - "$1" "$2" <<'EOF'
import re, sys
name, line = sys.argv[1], sys.argv[2]
def grab(pattern):
    m = re.search(pattern, line)
    return m.group(1) if m else "?"
print("| %-8s | %5s | %5s | %5s | %5s | %5s | %5s | %13s |" % (
    name, grab(r"listing pages (\d+)"), grab(r"feed \d+ \((\S+)\)"),
    grab(r"items exact \d+ \((\S+)\)"), grab(r"first title \d+ \((\S+)\)"),
    grab(r"first date \d+ \((\S+)\)"), grab(r"own link (\S+) of"),
    grab(r"negatives \d+: feeds made (\d+)") + "/" + grab(r"negatives (\d+)")))
EOF
}

for corpus in ${CORPORA:-weblogs modern}; do
    dir=$shared/corpus/$corpus
    [ -f "$dir/labels.tsv" ] || { echo "quality: skipped $corpus (no labels)"; continue; }
    echo "$corpus ($dir)"
    echo "| reading  | pages |  feed | exact | title |  date | links | no-post feeds |"
    echo "|----------|-------|-------|-------|-------|-------|-------|---------------|"
    for mode in ${MODES:-default modern}; do
        out=$work/$corpus-$mode
        mkdir -p "$out"
        option=()
        [ "$mode" = default ] || option=("--$mode")
        "$tool" "${option[@]}" "$dir/urls.txt" "$dir/pages" "$out" >"$out.log" 2>&1 ||
            { echo "quality: $mode run on $corpus failed" >&2; exit 1; }
        summary=$(python3 "$score" "$dir/labels.tsv" "$dir/urls.txt" "$out" | tail -n 1)
        row "$mode" "$summary"
        if [ $rows = 1 ]; then
            python3 "$score" "$dir/labels.tsv" "$dir/urls.txt" "$out" --rows |
                grep -v '^listing' | grep -Ev 'title ok .* date ok' >"$out.rows" || true
            sed "s/^/    $mode: /" "$out.rows"
        fi
    done
    echo
done
