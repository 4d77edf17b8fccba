#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan, leak checking on)
# and runs each for a bounded time, starting from its committed seeds and
# saved crash inputs. Any finding fails the run; its input is left in
# build-fuzz/findings/ for fuzz/regressions/<target>/.
# Usage: scripts/ci_fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/deps.sh clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUARN_FUZZ=ON -DQUARN_TESTS=OFF >/dev/null

# Every fuzz/<name>_fuzzer.cc that this configuration builds.
known=$(cmake --build build-fuzz --target help)
targets=()
for source in fuzz/*_fuzzer.cc; do
  name=$(basename "$source" _fuzzer.cc)
  if grep -qx "\.\.\. ${name}_fuzzer" <<<"$known"; then targets+=("$name"); fi
done
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/%/_fuzzer}"

mkdir -p build-fuzz/findings
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for name in "${targets[@]}"; do
  work=build-fuzz/corpus/$name
  mkdir -p "$work"
  seeds=(fuzz/corpus/"$name")
  [ -d fuzz/regressions/"$name" ] && seeds+=(fuzz/regressions/"$name")
  echo "fuzzing $name for ${seconds}s"
  # An input that runs for 30 s is a hang: a finding like any other.
  if ! build-fuzz/fuzz/"${name}"_fuzzer -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
      -artifact_prefix=build-fuzz/findings/"$name"- "$work" "${seeds[@]}" \
      >build-fuzz/"$name".log 2>&1; then
    tail -n 60 build-fuzz/"$name".log
    echo "fuzzing $name found a fault; its input is in build-fuzz/findings/" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' build-fuzz/"$name".log || true
done
