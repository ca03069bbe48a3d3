#!/bin/bash
# Times the tool against `xmllint --html` parsing the same pages and prints
# one table of medians: the corpus batch, generated weblog pages of 100 KiB,
# 1 MiB and 3 MiB (one process per page), an empty page (start-up alone) and
# 600,000 unclosed DIVs (worst-case memory). Then single runs over hostile
# pages that would show any quadratic time.
#
# Usage: bench/run.sh [--runs N] [--corpus DIR] [--seed N] [--jobs N]
#                     [--no-hostile] [--keep DIR]
#                     [TOOL | BUILD_DIR [CORPUS_DIR [RUNS]]] [--modes MODE...]
# TOOL defaults to build/weblog2rss (built when missing). --modes takes the
# rest of the arguments: each is a set of extra tool options ("--modern",
# "--format rss2") whose tool rows are measured too; a mode the tool does
# not accept yet is skipped with a note. BENCH_MODES (modes separated by ";")
# does the same. --jobs N adds a batch row with that option once the tool
# takes it. --keep DIR keeps the generated pages and feeds in DIR.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
runs=7
seed=1
jobs=""
hostile=1
keep=""
tool=""
modes=()
positional=()
corpus=""
for c in "$here/../shared/corpus/weblogs" "$here/../../shared/corpus/weblogs"; do
    [ -z "$corpus" ] && [ -f "$c/urls.txt" ] && corpus=$(cd "$c" && pwd)
done

usage() { sed -n '2,17s/^# \{0,1\}//p' "$0"; exit "${1:-0}"; }
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --corpus) corpus=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --no-hostile) hostile=0; shift ;;
        --keep) keep=$2; shift 2 ;;
        --modes) shift; modes+=("$@"); break ;;
        -h|--help) usage ;;
        -*) echo "run.sh: unknown option $1" >&2; usage 2 >&2 ;;
        *) positional+=("$1"); shift ;;
    esac
done
# The older form: [BUILD_DIR | TOOL] [CORPUS_DIR] [RUNS].
[ ${#positional[@]} -ge 1 ] && tool=${positional[0]}
[ ${#positional[@]} -ge 2 ] && corpus=${positional[1]}
[ ${#positional[@]} -ge 3 ] && runs=${positional[2]}
if [ -n "${BENCH_MODES:-}" ]; then
    IFS=';' read -r -a extra <<<"$BENCH_MODES"
    modes+=("${extra[@]}")
fi
[ "$runs" -ge 1 ] 2>/dev/null || { echo "run.sh: --runs needs a number" >&2; exit 2; }

if [ -z "$tool" ]; then
    tool=$here/build/weblog2rss
    if [ ! -x "$tool" ]; then
        cmake -S "$here" -B "$here/build" >/dev/null
        cmake --build "$here/build" --target weblog2rss -j2 >/dev/null
    fi
elif [ -d "$tool" ]; then
    tool=$tool/weblog2rss
fi
[ -x "$tool" ] || { echo "run.sh: no tool at $tool" >&2; exit 2; }
[ -f "${corpus:-}/urls.txt" ] ||
    { echo "run.sh: no corpus (give --corpus DIR)" >&2; exit 2; }
command -v xmllint >/dev/null ||
    { echo "run.sh: xmllint is needed (apt-get install libxml2-utils)" >&2; exit 2; }
gnutime=""
if /usr/bin/time -f %M true >/dev/null 2>&1; then gnutime=/usr/bin/time; fi

if [ -n "$keep" ]; then
    work=$keep
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/pages"
genArgs=("$work/pages" --seed "$seed")
[ "$hostile" = 1 ] && genArgs+=(--hostile)
python3 "$here/bench/gen_pages.py" "${genArgs[@]}"
base=(xmllint --html --noout --nowarning --recover)
corpusPages=("$corpus"/pages/*)
corpusBytes=$(cat "${corpusPages[@]}" | wc -c)
pageRows=(page-100k page-1m page-3m empty deep-divs)

# Microseconds since the epoch, without starting a process.
now() { local t=$EPOCHREALTIME; echo "${t//[.,]/}"; }

# Median of the numbers given.
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

fmt() { awk -v v="$2" "BEGIN { printf \"$1\", v }"; }
ms() { fmt %.1f "$(awk -v u="$1" 'BEGIN { print u / 1000 }')"; }
mib() { if [ "$1" = - ]; then echo -; else fmt %.1f "$(awk -v k="$1" 'BEGIN { print k / 1024 }')"; fi; }
div() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

# Runs "$@" once with standard output to OUT (first argument); sets wall to
# its wall time and cpu to its user + system time, in microseconds (the CPU
# time has millisecond resolution).
TIMEFORMAT='%3U %3S'
runOnce() {
    local out=$1 t0 u s
    shift
    t0=$(now)
    { time "$@" >"$out" 2>/dev/null; } 2>"$work/cpu" || true
    wall=$(($(now) - t0))
    read -r u s <"$work/cpu"
    u=${u//[.,]/} s=${s//[.,]/}
    cpu=$(((10#$u + 10#$s) * 1000))
}

# Peak resident memory in KiB of one run of "$@" with standard output to OUT
# (first argument); without GNU time the command just runs and gives "-".
peakKib() {
    local out=$1
    shift
    if [ -n "$gnutime" ]; then
        "$gnutime" -f %M -o "$work/peak" "$@" >"$out" 2>/dev/null || true
        tail -n 1 "$work/peak"
    else
        "$@" >"$out" 2>/dev/null || true
        echo -
    fi
}

# True when the tool takes the options OPTS: --help names their first word
# and an examining batch over the corpus with them succeeds.
accepts() {
    local first=${1%% *}
    "$tool" --help 2>&1 | grep -q -e "$first" || return 1
    # shellcheck disable=SC2086
    "$tool" $1 "$corpus/urls.txt" "$corpus/pages" >/dev/null 2>"$work/probe.err" || return 1
    ! grep -q "can't open url list" "$work/probe.err"
}

# Rows are "MODE:WHAT": MODE indexes rowModes (0: no extra options), WHAT is
# batch, jobs or one of pageRows. setCommands ID fills toolCmd, toolOut and
# baseCmd for a row.
rowModes=("")
rows=()
setCommands() {
    local what=${1#*:} opts
    # shellcheck disable=SC2206
    opts=(${rowModes[${1%%:*}]})
    case $what in
        batch|jobs)
            toolCmd=("$tool" "${opts[@]}")
            [ "$what" = jobs ] && toolCmd+=(--jobs "$jobs")
            toolCmd+=("$corpus/urls.txt" "$corpus/pages" "$work/out-$1")
            toolOut=/dev/null
            baseCmd=("${base[@]}" "${corpusPages[@]}") ;;
        *)
            toolCmd=("$tool" "${opts[@]}" "$work/pages/$what.html")
            toolOut=$work/feed-$1.rss
            baseCmd=("${base[@]}" "$work/pages/$what.html") ;;
    esac
}
rowBytes() {
    case ${1#*:} in
        batch|jobs) echo "$corpusBytes" ;;
        *) wc -c <"$work/pages/${1#*:}.html" ;;
    esac
}
rowLabel() {
    local mode=${rowModes[${1%%:*}]}
    case ${1#*:} in
        batch) echo "corpus batch${mode:+ $mode}" ;;
        jobs) echo "corpus batch --jobs $jobs${mode:+ $mode}" ;;
        page-100k) echo "100 KiB page${mode:+ $mode}" ;;
        page-1m) echo "1 MiB page${mode:+ $mode}" ;;
        page-3m) echo "3 MiB page${mode:+ $mode}" ;;
        empty) echo "empty page${mode:+ $mode}" ;;
        deep-divs) echo "600,000 open DIVs${mode:+ $mode}" ;;
    esac
}
rowItems() {
    case ${1#*:} in
        batch|jobs) cat "$work/out-$1"/* 2>/dev/null | grep -c '<item>' || true ;;
        *) grep -c '<item>' "$work/feed-$1.rss" || true ;;
    esac
}

notes=()
for mode in "" "${modes[@]}"; do
    if [ -n "$mode" ]; then
        if ! accepts "$mode"; then
            notes+=("mode \"$mode\": not accepted by the tool yet, rows skipped")
            continue
        fi
        rowModes+=("$mode")
    fi
    m=$((${#rowModes[@]} - 1))
    rows+=("$m:batch")
    # Batch rows with worker processes, once the tool takes --jobs.
    if [ -n "$jobs" ]; then
        if accepts "--jobs $jobs"; then
            rows+=("$m:jobs")
        elif [ "$m" = 0 ]; then
            notes+=("--jobs $jobs: not accepted by the tool yet, row skipped")
        fi
    fi
    for p in "${pageRows[@]}"; do rows+=("$m:$p"); done
done
for id in "${rows[@]}"; do mkdir -p "$work/out-$id"; done

load0=$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo ?)
# All rows take turns in every round, the tool and xmllint alternating, so
# that a busy spell of the machine spreads over all rows alike. Rows under
# 200 kB are cheap and noisy and run three times per round.
declare -A toolW baseW toolC baseC bytes
for id in "${rows[@]}"; do bytes[$id]=$(rowBytes "$id"); done
for ((r = 0; r < runs; r++)); do
    for id in "${rows[@]}"; do
        setCommands "$id"
        reps=$((${bytes[$id]} < 200000 ? 3 : 1))
        for ((k = 0; k < reps; k++)); do
            runOnce "$toolOut" "${toolCmd[@]}"; toolW[$id]+=" $wall"; toolC[$id]+=" $cpu"
            runOnce /dev/null "${baseCmd[@]}"; baseW[$id]+=" $wall"; baseC[$id]+=" $cpu"
        done
    done
done

printRow() { printf '%-28s %8s %5s %8s %8s %6s %6s %6s %7s %8s %8s\n' "$@"; }
echo "tool: $tool"
echo "load average before: $load0, after: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo ?)"
echo "corpus: ${#corpusPages[@]} pages, $corpusBytes bytes; generated pages seed $seed"
echo "baseline: ${base[*]} (one process, same files)"
echo "medians of $runs runs ($((runs * 3)) under 200 kB), rows taking turns, tool and xmllint" \
    "alternating"
echo "ratio: tool / xmllint wall time; cpu: the same for user + system time"
printRow "row" "bytes" "items" "tool ms" "xmllint" "ratio" "cpu" "MB/s" "pages/s" \
    "tool MiB" "xml MiB"
declare -A medW medC medBW medBC
# shellcheck disable=SC2086  # the time lists split on purpose
for id in "${rows[@]}"; do
    medW[$id]=$(median ${toolW[$id]}) medC[$id]=$(median ${toolC[$id]})
    medBW[$id]=$(median ${baseW[$id]}) medBC[$id]=$(median ${baseC[$id]})
    setCommands "$id"
    peak=$(peakKib "$toolOut" "${toolCmd[@]}")
    basePeak=$(peakKib /dev/null "${baseCmd[@]}")
    case ${id#*:} in batch|jobs) pages=${#corpusPages[@]} ;; *) pages=1 ;; esac
    w=${medW[$id]} b=${bytes[$id]}
    printRow "$(rowLabel "$id")" "$b" "$(rowItems "$id")" "$(ms "$w")" "$(ms "${medBW[$id]}")" \
        "$(div "$w" "${medBW[$id]}")" "$(div "${medC[$id]}" "${medBC[$id]}")" \
        "$(awk -v b="$b" -v u="$w" 'BEGIN { printf "%.1f", (u > 0 ? b / u : 0) }')" \
        "$(awk -v p="$pages" -v u="$w" 'BEGIN { printf "%.0f", (u > 0 ? p * 1e6 / u : 0) }')" \
        "$(mib "$peak")" "$(mib "$basePeak")"
    case ${id#*:} in page-100k|page-1m|page-3m)
        n=$(rowItems "$id")
        [ "$n" -ge 50 ] || notes+=("$(rowLabel "$id"): only $n feed items") ;;
    esac
done

# Cost per byte of the 3 MiB page over that of the 100 KiB page, the empty
# page's time (start-up) subtracted from both; 1.0 means time grows in
# proportion to the page. Arguments: the array of medians and the mode index.
costRatio() {
    local -n t=$1
    awk -v b="${t[$2:page-3m]}" -v s="${t[$2:page-100k]}" -v e="${t[$2:empty]}" \
        -v nb="${bytes[$2:page-3m]}" -v ns="${bytes[$2:page-100k]}" 'BEGIN {
            cs = (s - e) / ns; cb = (b - e) / nb
            if (cs > 0 && cb > 0) printf "%.2f", cb / cs
            else printf "n/a" }'
}
for m in "${!rowModes[@]}"; do
    mode=${rowModes[$m]}
    echo "cost per byte, 3 MiB page / 100 KiB page, start-up subtracted${mode:+ ($mode)}:" \
        "tool $(costRatio medW "$m") (cpu $(costRatio medC "$m")), xmllint" \
        "$(costRatio medBW "$m") (cpu $(costRatio medBC "$m"))"
done
[ -n "$gnutime" ] || notes+=("no GNU time (apt-get install time): peak memory not measured")
for n in "${notes[@]}"; do echo "note: $n"; done

if [ "$hostile" = 1 ]; then
    echo
    echo "hostile pages (about 3 MiB each), one run each, ratio to the corpus batch:"
    for page in "$work/pages/hostile"/* "$work/pages/deep-divs.html"; do
        t0=$(now)
        peak=$(peakKib /dev/null "$tool" "$page")
        elapsed=$(($(now) - t0))
        printf '  %-18s %9s ms %6sx %8s MiB\n' "$(basename "$page" .html)" "$(ms "$elapsed")" \
            "$(div "$elapsed" "${medW[0:batch]}")" "$(mib "$peak")"
    done
fi
