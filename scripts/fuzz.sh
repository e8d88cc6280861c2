#!/usr/bin/env bash
# Builds the fuzz preset (Clang, libFuzzer, ASan + UBSan) and runs every fuzz
# target it defines for SECONDS each (default 600), one after the other, one
# process each. Seeds come from tests/fuzz/corpus/<format>/ (read only) and
# markers from tests/fuzz/<format>.dict where there is one; the working corpus,
# crash artifacts and logs go to build/fuzz-runs/<format>/, so a later run
# carries on from what an earlier one found.
#
#   scripts/fuzz.sh [SECONDS]
#   FUZZ_TARGETS="jpeg png"  only these formats (default: every fuzz_* target)
#   FUZZ_BUILD_JOBS=2        parallel compile jobs (default: Ninja's choice)
#   FUZZ_OUT=dir             instead of build/fuzz-runs
#
# Prints executions, exec/s and coverage per target; exits 1 if any target
# found a crash, leak, timeout or out-of-memory input (listed at the end with
# the command that replays it).
set -euo pipefail

seconds="${1:-600}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [SECONDS]" >&2
    exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="$root/build/fuzz"
out="${FUZZ_OUT:-$root/build/fuzz-runs}"

cmake --preset fuzz >/dev/null
# Only the fuzz targets: the rest of the suite under these flags is not needed here.
mapfile -t all_targets < <(cmake --build --preset fuzz --target help |
    sed -n 's/^\(fuzz_[A-Za-z0-9_]*\):.*/\1/p' | sort -u)
if [[ -n "${FUZZ_TARGETS:-}" ]]; then
    targets=()
    for f in $FUZZ_TARGETS; do targets+=("fuzz_$f"); done
else
    targets=("${all_targets[@]}")
fi
if [[ ${#targets[@]} -eq 0 ]]; then
    echo "no fuzz targets in the fuzz build" >&2
    exit 2
fi
cmake --build --preset fuzz ${FUZZ_BUILD_JOBS:+-j "$FUZZ_BUILD_JOBS"} --target "${targets[@]}"

# Recoverable UBSan checks would only print; a finding must stop the run.
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"

rows=()
findings=()
for target in "${targets[@]}"; do
    format="${target#fuzz_}"
    bin="$(find "$build" -type f -name "$target" -perm -u+x | head -n 1)"
    if [[ -z "$bin" ]]; then
        echo "$target: not built" >&2
        findings+=("$target: not built")
        continue
    fi
    dir="$out/$format"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    seeds="$root/tests/fuzz/corpus/$format"
    args=("$dir/corpus")
    [[ -d "$seeds" ]] && args+=("$seeds")
    dict="$root/tests/fuzz/$format.dict"
    [[ -f "$dict" ]] && args=("-dict=$dict" "${args[@]}")
    touch "$dir/started"  # artifacts newer than this are this run's findings
    echo "== $target: ${seconds}s"
    set +e
    # The first corpus folder is the one libFuzzer adds to; the seeds stay as they are.
    "$bin" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$dir/artifacts/" "${args[@]}" >"$dir/log" 2>&1
    rc=$?
    set -e
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)"
    rate="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -n 1)"
    last="$(grep -E '^#[0-9]+.*cov: ' "$dir/log" | tail -n 1 || true)"
    cov="$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")"
    ft="$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")"
    corp="$(sed -n 's/.*corp: \([0-9]*\).*/\1/p' <<<"$last")"
    ten_m="-"
    if [[ -n "$rate" && "$rate" -gt 0 ]]; then
        ten_m="$(awk -v r="$rate" 'BEGIN { s = 1e7 / r;
            if (s < 3600) printf "%.0f min", s / 60; else printf "%.1f h", s / 3600 }')"
    fi
    result="ok"
    mapfile -t found < <(find "$dir/artifacts" -type f -newer "$dir/started" | sort)
    if [[ $rc -ne 0 || ${#found[@]} -gt 0 ]]; then
        result="FOUND (exit $rc)"
        for a in "${found[@]}"; do findings+=("$target: $a  (replay: $bin $a)"); done
        [[ ${#found[@]} -gt 0 ]] || findings+=("$target: exit $rc, see $dir/log")
    fi
    rows+=("$(printf '%-24s %8ss %12s %8s %8s %8s %8s %10s  %s' "$target" "$seconds" \
        "${execs:--}" "${rate:--}" "${cov:--}" "${ft:--}" "${corp:--}" "$ten_m" "$result")")
done

echo
printf '%-24s %9s %12s %8s %8s %8s %8s %10s  %s\n' target time execs exec/s cov ft corpus \
    "10M execs" result
for r in "${rows[@]}"; do echo "$r"; done
if [[ ${#findings[@]} -gt 0 ]]; then
    echo
    echo "findings (kept under $out):"
    for f in "${findings[@]}"; do echo "  $f"; done
    exit 1
fi
