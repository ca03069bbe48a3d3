#!/bin/sh
# Runs a batch once as one sequential run and once as 3 shards under GNU
# parallel, and checks that the shards together write exactly the sequential
# run's files: once with all shards writing into one shared OUTDIR, once with
# an OUTDIR per shard merged afterwards (machines each with their own copy).
# The pages' messages must also be the same lines, each exactly once.
#
# Usage: shard_parallel_test.sh TOOL LIST INDIR [OPTION...]
# OPTIONs go to every run, before --shard. Exit status: 0 same output,
# 1 a difference or a failed run, 2 usage, 77 GNU parallel is missing.
set -eu

if [ $# -lt 3 ]; then
    echo "usage: $0 TOOL LIST INDIR [OPTION...]" >&2
    exit 2
fi
tool=$1 list=$2 indir=$3
shift 3
shards=3

if ! command -v parallel >/dev/null 2>&1; then
    echo "GNU parallel is not installed; skipped" >&2
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "shard test: $*" >&2
    exit 1
}

mkdir "$work/sequential" "$work/shared" "$work/merged"
"$tool" "$@" "$list" "$indir" "$work/sequential" >"$work/sequential.out" ||
    fail "the sequential run failed"
count=$(find "$work/sequential" -type f | wc -l)
[ "$count" -gt 0 ] || fail "the sequential run wrote no file; nothing to compare"

# -q: the command's words reach the tool as they are (paths with spaces).
parallel -q --halt now,fail=1 "$tool" "$@" --shard "{}/$shards" "$list" "$indir" "$work/shared" \
    ::: $(seq 0 $((shards - 1))) >"$work/shared.out" || fail "a shard failed (shared OUTDIR)"
diff -r "$work/sequential" "$work/shared" || fail "shards writing into one OUTDIR differ"

for k in $(seq 0 $((shards - 1))); do mkdir "$work/own-$k"; done
parallel -q --halt now,fail=1 "$tool" "$@" --shard "{}/$shards" "$list" "$indir" "$work/own-{}" \
    ::: $(seq 0 $((shards - 1))) >/dev/null || fail "a shard failed (OUTDIR per shard)"
written=0
for k in $(seq 0 $((shards - 1))); do
    written=$((written + $(find "$work/own-$k" -type f | wc -l)))
    cp -R "$work/own-$k/." "$work/merged/"
done
[ "$written" -eq "$count" ] || fail "the shards wrote $written files, the sequential run $count"
diff -r "$work/sequential" "$work/merged" || fail "shards with their own OUTDIR differ"

# Every shard reads the list itself; the pages' lines appear once overall.
grep -v '^Read the URL list$' "$work/sequential.out" | sort >"$work/sequential.lines" || true
grep -v '^Read the URL list$' "$work/shared.out" | sed "s|$work/shared|$work/sequential|" |
    sort >"$work/shared.lines" || true
cmp -s "$work/sequential.lines" "$work/shared.lines" ||
    fail "the shards' messages differ from the sequential run's"
echo "shard test: $count files identical across $shards shards"
