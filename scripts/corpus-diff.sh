#!/bin/bash
# Runs two builds of weblog2rss on the same inputs and compares what they
# write, byte for byte: the batch mode over each shared corpus (feeds,
# standard output, standard error, exit status), and the single-file and
# standard-input modes on every examples/*.html.
#
# Usage: scripts/corpus-diff.sh OLD_BIN NEW_BIN [OPTION...]
#   OPTIONs are given to both binaries before the usual arguments.
# Environment:
#   SHARED   folder holding corpus/<name>/{urls.txt,pages} (default: ../shared
#            beside the repository)
#   CORPORA  corpus names to run (default: "weblogs modern")
#   ARCHIVE  folder with archived batch results out-<name>/, out-<name>.stdout
#            and out-<name>.stderr of OLD_BIN; NEW_BIN is compared with them too
#            (made with "cd DIR && OLD_BIN ../shared/corpus/<name>/urls.txt
#            ../shared/corpus/<name>/pages out-<name>")
# Exits 0 when everything is identical, 1 otherwise (the differences are shown).
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { sed -n '2,19p' "$0"; exit 2; }
old=$(readlink -f "$1") new=$(readlink -f "$2")
shift 2
shared=$(readlink -f "${SHARED:-$here/../shared}")
corpora=${CORPORA:-weblogs modern}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

differ() { echo "DIFFERENT: $*"; status=1; }

# Batch runs from a folder whose ../shared is the shared folder, so that the
# messages carry the same paths as the archived ones.
for tag in old new; do
    mkdir -p "$work/$tag/run"
    ln -s "$shared" "$work/$tag/shared"
done
for c in $corpora; do
    [ -f "$shared/corpus/$c/urls.txt" ] || { echo "skipped: no corpus $c"; continue; }
    for tag in old new; do
        bin=$old; [ $tag = new ] && bin=$new
        mkdir -p "$work/$tag/run/out-$c"
        (cd "$work/$tag/run" && "$bin" "$@" "../shared/corpus/$c/urls.txt" "../shared/corpus/$c/pages" "out-$c" \
            >"out-$c.stdout" 2>"out-$c.stderr"; echo $? >"out-$c.status")
    done
    o=$work/old/run n=$work/new/run
    diff -r "$o/out-$c" "$n/out-$c" >/dev/null || differ "feeds of $c"
    for s in stdout stderr status; do
        cmp -s "$o/out-$c.$s" "$n/out-$c.$s" || { differ "$s of $c"; diff "$o/out-$c.$s" "$n/out-$c.$s" | head -20; }
    done
    if [ -n "${ARCHIVE:-}" ] && [ -d "$ARCHIVE/out-$c" ]; then
        diff -r "$ARCHIVE/out-$c" "$n/out-$c" >/dev/null || differ "feeds of $c against $ARCHIVE"
        for s in stdout stderr; do
            cmp -s "$ARCHIVE/out-$c.$s" "$n/out-$c.$s" || differ "$s of $c against $ARCHIVE"
        done
    fi
    echo "$c: $(ls "$n/out-$c" | wc -l) feeds, $(wc -l <"$n/out-$c.stdout") lines of output compared"
done

# Single-file and standard-input modes on the bundled pages.
for page in "$here"/examples/*.html; do
    for mode in file stdin; do
        for tag in old new; do
            bin=$old; [ $tag = new ] && bin=$new
            if [ $mode = file ]; then
                (cd "$here" && "$bin" "$@" "examples/$(basename "$page")") >"$work/$tag.out" 2>"$work/$tag.err"
            else
                "$bin" "$@" <"$page" >"$work/$tag.out" 2>"$work/$tag.err"
            fi
            echo $? >>"$work/$tag.out"
        done
        cmp -s "$work/old.out" "$work/new.out" && cmp -s "$work/old.err" "$work/new.err" ||
            differ "$mode mode on $(basename "$page")"
    done
done
echo "examples: $(ls "$here"/examples/*.html | wc -l) pages compared in file and standard-input modes"
[ $status = 0 ] && echo "corpus-diff: identical"
exit $status
