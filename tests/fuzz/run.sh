#!/bin/sh
# The fuzz target in the suite: run.sh FUZZER findings FINDINGS-FOLDER WORK runs every committed
# finding once (each a regression input); run.sh FUZZER bounded SEED WORK SECONDS fuzzes from the
# fixture's seed volume for SECONDS. A crash, a leak, a hang (10 s) or 2 GB of memory fails it.
set -e
fuzzer=$1 mode=$2 source=$3 work=$4
rm -rf "$work" && mkdir -p "$work/inputs"
options="-rss_limit_mb=2048 -timeout=10 -error_exitcode=1 -timeout_exitcode=1 -max_len=2097152"
if [ "$mode" = findings ]; then
    count=0
    for finding in "$source"/*.gz; do
        gzip -dc "$finding" >"$work/inputs/$(basename "$finding" .gz)"
        count=$((count + 1))
    done
    # shellcheck disable=SC2086
    "$fuzzer" $options -runs=0 "$work/inputs"
    echo "$count findings replayed"
else
    if [ ! -f "$source" ]; then
        echo "no seed volume: the NTFS fixture could not make its volumes here"
        exit 77
    fi
    cp "$source" "$work/inputs/seed.img"
    # shellcheck disable=SC2086
    "$fuzzer" $options -dict="$(dirname "$0")/ntfs.dict" -max_total_time="$5" -artifact_prefix="$work/" \
        -print_final_stats=1 "$work/inputs" 2>&1 | grep -E '^stat::|==ERROR|SUMMARY|Done' || true
    # libFuzzer leaves a crash-, leak-, timeout- or oom- file for what it found.
    if ls "$work" | grep -qE '^(crash|leak|timeout|oom|slow-unit)-'; then
        echo "the fuzzer found an input: $(ls "$work" | grep -E '^(crash|leak|timeout|oom)-')"
        exit 1
    fi
fi
