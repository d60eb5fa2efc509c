#!/usr/bin/env bash
# Runs every fuzz target built in BUILD/fuzz for SECONDS each, one at a time, from a scratch
# corpus that starts with the committed seeds (fuzz/corpus/NAME) and grows from run to run in
# BUILD/fuzz/corpus, so the committed seeds stay small. Prints a line per target: executions,
# executions per second, and whether anything was found. Fails when anything was, naming the
# input that reproduces it (run the target with that file as its argument).
#   scripts/fuzz.sh BUILD [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/fuzz.sh BUILD [SECONDS]}
seconds=${2:-60}
out=$build/fuzz

found=0
for source in fuzz/*.cpp; do
    name=$(basename "$source" .cpp)
    case "$name" in
    listen_address | command_line) dict=command_line ;;
    base64) dict=base64 ;;
    *) dict=json ;;
    esac
    corpus=$out/corpus/$name findings=$out/findings/$name log=$out/logs/$name.log
    mkdir -p "$corpus" "$findings" "$(dirname "$log")"
    cp fuzz/corpus/"$name"/* "$corpus"/
    # The relay logs every refusal: closing the targets' stderr keeps that out of the log, while
    # libFuzzer's and the sanitizers' reports still reach it.
    status=0
    "$out/fuzz_$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -close_fd_mask=2 -dict=fuzz/dict/$dict.dict -artifact_prefix="$findings/" \
        "$corpus" >"$log" 2>&1 || status=$?
    runs=$(awk '/^stat::number_of_executed_units:/ {print $2}' "$log")
    rate=$(awk '/^stat::average_exec_per_sec:/ {print $2}' "$log")
    reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    if [ "$status" -eq 0 ]; then
        verdict="nothing found"
    else
        found=1
        verdict="FOUND ${reproducer:-nothing written, exit $status}, log $log"
    fi
    printf '%-16s %10s runs %8s exec/s  %s\n' "$name" "${runs:-?}" "${rate:-?}" "$verdict"
done
exit $found
