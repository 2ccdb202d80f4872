#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan, build-fuzz) and runs each
# for FUZZ_SECONDS (default 30) from its committed seeds. Any crash, leak,
# timeout or failed check fails the script; the input that caused it is
# copied to fuzz-failures/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
build=${FUZZ_BUILD_DIR:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVX_WERROR=ON \
    -DQVX_BUILD_FUZZ=ON -DQVX_BUILD_TESTS=OFF -DQVX_BUILD_TOOLS=OFF -DQVX_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" -j2 --target decode_fuzzer c_api_fuzzer lut_fuzzer roundtrip_fuzzer

# target seed-dir dictionary max-len
targets=(
    "decode_fuzzer fuzz/seeds/streams fuzz/qvx.dict 2048"
    "c_api_fuzzer fuzz/seeds/streams fuzz/qvx.dict 2048"
    "lut_fuzzer fuzz/seeds/lut fuzz/lut.dict 2048"
    "roundtrip_fuzzer fuzz/seeds/roundtrip fuzz/roundtrip.dict 1024"
)
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for entry in "${targets[@]}"; do
    read -r name seeds dict max_len <<<"$entry"
    mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
    echo "== $name: ${seconds}s"
    if "$build/fuzz/$name" "$work/$name/corpus" "$seeds" -dict="$dict" -max_len="$max_len" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$work/$name/artifacts/" >"$work/$name/log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$work/$name/log" || true
    else
        failed=1
        echo "$name FAILED; last lines of its log:"
        tail -n 40 "$work/$name/log"
        mkdir -p "fuzz-failures/$name"
        cp "$work/$name/log" "fuzz-failures/$name/"
        cp "$work/$name"/artifacts/* "fuzz-failures/$name/" 2>/dev/null || true
        echo "inputs copied to fuzz-failures/$name/"
    fi
done
exit "$failed"
