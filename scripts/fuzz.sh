#!/usr/bin/env bash
# Fuzzes the shortcut structure check with clang's libFuzzer under
# AddressSanitizer and UBSan, seeded with the shortcut builder's files:
#   scripts/fuzz.sh [seconds]        (default 20)
# Builds into build/fuzz (VELTMOR_FUZZ_BUILD to change it); the corpus it
# grows stays there for the next run. Non-zero on a crash, a hang or a
# build failure; the input that did it is kept in that folder.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
out=${VELTMOR_FUZZ_BUILD:-build/fuzz}
mkdir -p "$out/seeds" "$out/corpus" || exit 1

flags=(-std=c++17 -g -O1 -Wall -Wextra -Werror -I.)
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    tests/fuzz/link_structure_fuzz.cpp scan/LinkStructure.cpp scan/Sha256.cpp -o "$out/link_structure_fuzz" || exit 1
clang++ "${flags[@]}" tests/fuzz/write_seeds.cpp tests/kit/LnkBuilder.cpp -o "$out/write_seeds" || exit 1
"$out/write_seeds" "$out/seeds" || exit 1

# The check allocates nothing and reads a few kilobytes: a second per input
# or a few megabytes of memory already mean a fault.
log="$out/fuzz.log"
"$out/link_structure_fuzz" -max_total_time="$seconds" -max_len=12288 -timeout=1 -malloc_limit_mb=8 -rss_limit_mb=1024 \
    -artifact_prefix="$out/" "$out/corpus" "$out/seeds" >"$log" 2>&1
rc=$?
if [ $rc -ne 0 ]; then
    tail -n 40 "$log"
    echo "fuzz: FAILED (exit $rc), log in $log"
    exit 1
fi
echo "fuzz: $(grep -E "^Done [0-9]+ runs" "$log"), no crash"
