#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build directory and
# runs each for a while from its seed corpus in fuzz/corpus/<target>/.
#   fuzz/run_fuzzers.sh [build-dir] [seconds-per-target] [target...]
# New inputs go to a scratch corpus in the build directory, crashes to
# <build-dir>/crash-*; the seed corpus in the tree is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-fuzz}
secs=${2:-5}
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
((${#targets[@]})) || targets=(fuzz_events fuzz_blobs fuzz_colour fuzz_patch)

cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DZDSP_FUZZ=ON -DZDSP_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -g -DNDEBUG" >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ZDSP_SEM="$PWD/$dir/ZolanDSPModules_x64.sem"
for t in "${targets[@]}"; do
    scratch="$dir/corpus/$t"
    mkdir -p "$scratch" "fuzz/corpus/$t"
    echo "fuzz: $t for ${secs}s"
    "$dir/$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=4096 -print_final_stats=0 \
        -artifact_prefix="$dir/$t-" "$scratch" "fuzz/corpus/$t" 2>"$dir/$t.log" || {
        tail -n 60 "$dir/$t.log" >&2
        echo "fuzz: $t failed; reproduce with: $dir/$t $dir/$t-crash-*" >&2
        exit 1
    }
    tail -n 2 "$dir/$t.log"
done
