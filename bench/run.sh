#!/bin/bash
# Times a batch over the weblog corpus and single runs over generated hostile
# pages, as ratios to a baseline measured in the same run.
# Usage: bench/run.sh [BUILD_DIR] [CORPUS_DIR] [RUNS]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
corpus=${2:-$here/../shared/corpus/weblogs}
runs=${3:-7}
tool=$build/weblog2rss
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Median wall time in milliseconds of running "$@" $runs times.
median_ms() {
    local times=()
    for _ in $(seq "$runs"); do
        local t0 t1
        t0=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true
        t1=$(date +%s%N)
        times+=($(( (t1 - t0) / 1000 )))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

mkdir -p "$work/out"
pages=("$corpus"/pages/*)
echo "corpus: ${#pages[@]} pages, $(cat "${pages[@]}" | wc -c) bytes; median of $runs runs"

startup=$(median_ms "$tool" /dev/null)
batch=$(median_ms "$tool" "$corpus/urls.txt" "$corpus/pages" "$work/out")
echo "weblog2rss start-up (empty page):   ${startup} ms"
echo "weblog2rss batch over the corpus:   ${batch} ms"
if command -v xmllint >/dev/null; then
    base=$(median_ms xmllint --html --noout --nowarning --recover "${pages[@]}")
    echo "baseline xmllint parse of corpus:   ${base} ms"
    echo "ratio batch / baseline:             $(ratio "$batch" "$base")"
else
    base=""
    echo "(xmllint not installed: no parse baseline; apt-get install libxml2-utils)"
fi

# Hostile pages of about 3 MiB each, one run per page (they are slow if anything is).
gen() { python3 -c "import sys; s=$2; sys.stdout.write((s * (3145000 // len(s) + 1))[:3145000])" > "$work/$1"; }
gen lt-a "'<a'"
gen lt-a-quote "'<a \''"
gen comment-open "'<!--'"
gen entity-digits "'&#' + '1' * 50"
gen lt "'<'"
gen gt-one "'>1'"
gen digits "'1'"
python3 - "$work" <<'PY'
import sys
d = sys.argv[1]
def put(name, s): open(f"{d}/{name}", "w").write(s[:3145000])
head = "<div><p>a</p><p>b</p><p>c</p>"
put("container-gt-one", head + ">1" * 1600000 + "</div>")
put("container-gt", head + ">" * 3200000 + "</div>")
level = "<div><p>1</p><p>2</p><p>3</p>"
put("deep-levels", level * (3145000 // len(level)))
put("deep-divs", "<div>" * 600000)
entry = "<p>Monday, March 1, 2004</p><p>text 10:32 PM</p>"
put("many-entries", "<div>" + entry * (3100000 // len(entry)) + "</div>")
put("wide-children", "<div>" + "<span>x</span>" * 220000 + "</div>")
PY
echo "hostile pages (3 MiB each), single run, ratio to the corpus batch:"
for f in lt-a lt-a-quote comment-open entity-digits lt gt-one digits \
         container-gt-one container-gt deep-levels deep-divs many-entries wide-children; do
    t=$(runs=1 median_ms "$tool" "$work/$f")
    printf '  %-18s %9s ms  %6sx\n' "$f" "$t" "$(ratio "$t" "$batch")"
done
