#!/usr/bin/env bash
# Builds the fuzz configuration and runs every libFuzzer harness on its corpus in turn:
#   fuzz.sh [SECONDS] [NAME...]    SECONDS of fuzzing per harness (default 20)
#   fuzz.sh --runs N [NAME...]     N executions per harness
# NAMEs pick harnesses (fuzz/corpus/<NAME>/); by default every one runs.
# Each harness works on a scratch copy of fuzz/corpus/<name>/ in build-fuzz/fuzz-run/,
# which keeps what earlier runs found, so the repository stays clean. Exits 1 after the
# last harness when any of them found something; the reproducer is then in
# build-fuzz/fuzz-run/findings/<name>/ and the log beside it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage() {
    echo "usage: fuzz.sh [SECONDS_PER_HARNESS] [NAME...] | fuzz.sh --runs N [NAME...]" >&2
    exit 2
}
limit=(-max_total_time=20)
if [ "${1:-}" = "--runs" ]; then
    [[ "${2:-}" =~ ^[0-9]+$ ]] || usage
    limit=(-runs="$2")
    shift 2
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    limit=(-max_total_time="$1")
    shift
fi
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for seeds in "$root"/fuzz/corpus/*/; do
        names+=("$(basename "$seeds")")
    done
fi
for name in "${names[@]}"; do
    [ -d "$root/fuzz/corpus/$name" ] || { echo "fuzz.sh: no harness $name" >&2; usage; }
done

"$root/scripts/build.sh" fuzz

work="$root/build-fuzz/fuzz-run"
failed=()
for name in "${names[@]}"; do
    seeds="$root/fuzz/corpus/$name/"
    corpus="$work/corpus/$name"
    findings="$work/findings/$name"
    log="$work/$name.log"
    mkdir -p "$corpus" "$findings"
    cp "$seeds"* "$corpus/"
    # Datagrams are at most 4096 bytes; an input that runs a minute is a hang.
    if "$root/build-fuzz/fuzz/fuzz_$name" "${limit[@]}" -max_len=4096 -timeout=60 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
        speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
        echo "fuzz $name: $runs executions, $speed exec/s"
    else
        echo "fuzz $name: FOUND A FAULT (log: $log)"
        grep -A 30 -m 1 -E '^==[0-9]+==|fuzz check failed|ERROR: libFuzzer' "$log" || tail -n 30 "$log"
        failed+=("$name")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]}"
    exit 1
fi
