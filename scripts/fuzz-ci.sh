#!/bin/sh
# Builds the libFuzzer targets with clang (-DWEBLOG2RSS_FUZZ=ON) and, for
# each target, replays every input that ever failed (fuzz/regressions/T/),
# then fuzzes for a bounded time from the checked-in seeds (fuzz/seeds/T/)
# and the shared corpus pages when they are there. Exits 1 when a target
# crashes, leaks, hangs or fails one of its checks; the failing input is
# kept in the build folder, to be added to fuzz/regressions/T/.
#
# Usage: scripts/fuzz-ci.sh [TARGET...]     (default: convert text scanner dates)
# Environment:
#   FUZZ_SECONDS   fuzzing time per target (default 60)
#   FUZZ_MAX_LEN   longest input (default: 131072; dates 16384; scanner 1024)
#   FUZZ_TIMEOUT   seconds one input may take before it counts as a hang (default 60)
#   FUZZ_BUILD     build folder (default build-fuzz)
#   FUZZ_CORPUS    shared corpus with weblogs/pages and modern/pages (default ../shared/corpus)
#   FUZZ_SEEDS     more seed folders, separated by spaces (large pages, for example)
#   FUZZ_WORK      where the inputs found are kept, one folder per target
#                  (default: a temporary folder, removed at the end)
#   FUZZ_FLAGS     more libFuzzer flags
set -eu
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD:-build-fuzz}
corpus=${FUZZ_CORPUS:-../shared/corpus}
timeout=${FUZZ_TIMEOUT:-60}
targets=${*:-convert text scanner dates}
cxx=$(command -v clang++-14 || command -v clang++ || true)
[ -n "$cxx" ] || { echo "fuzz-ci: clang++ not found (scripts/install-deps.sh installs it)" >&2; exit 1; }

for t in $targets; do
    [ -f "fuzz/${t}_fuzz.cpp" ] || { echo "fuzz-ci: no target $t" >&2; exit 2; }
done

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DWEBLOG2RSS_FUZZ=ON \
    -DWEBLOG2RSS_TESTS=OFF -DWEBLOG2RSS_BENCH=OFF >/dev/null
# shellcheck disable=SC2046
cmake --build "$build" -j2 --target $(for t in $targets; do printf '%s_fuzz ' "$t"; done)

if [ -n "${FUZZ_WORK:-}" ]; then
    work=$FUZZ_WORK
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

failed=""
for t in $targets; do
    bin="$build/${t}_fuzz"
    case $t in
    scanner) len=${FUZZ_MAX_LEN:-1024} ;;
    dates) len=${FUZZ_MAX_LEN:-16384} ;;
    *) len=${FUZZ_MAX_LEN:-131072} ;;
    esac

    # Inputs that failed once: each run alone, all must pass.
    if ! "$bin" -timeout="$timeout" fuzz/regressions/"$t"/* >"$work/$t.replay.log" 2>&1; then
        tail -n 40 "$work/$t.replay.log"
        echo "fuzz-ci: $t: a regression input fails again"
        failed="$failed $t"
        continue
    fi

    seeds="fuzz/seeds/$t"
    for dir in "$corpus/weblogs/pages" "$corpus/modern/pages" ${FUZZ_SEEDS:-}; do
        [ -d "$dir" ] && seeds="$seeds $dir"
    done
    mkdir -p "$work/$t"
    # shellcheck disable=SC2086
    if nice -n 10 "$bin" -max_total_time="$seconds" -max_len="$len" -timeout="$timeout" \
        -dict=fuzz/html.dict -print_final_stats=1 -artifact_prefix="$artifacts/$t-" \
        ${FUZZ_FLAGS:-} "$work/$t" $seeds >"$work/$t.log" 2>&1; then
        stats=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$t.log" | tail -n 1)
        echo "fuzz-ci: $t: ${stats:-done}"
    else
        tail -n 60 "$work/$t.log"
        echo "fuzz-ci: $t FAILED; the input is in $artifacts/ (add it to fuzz/regressions/$t/)"
        failed="$failed $t"
    fi
done

[ -z "$failed" ] || { echo "fuzz-ci: failed:$failed"; exit 1; }
echo "fuzz-ci: no failures"
