#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz and runs each one for the given seconds (default 30) on a copy of its seed corpus.
# Exits non-zero when any target finds something: a crash, undefined behaviour, a leak, a timeout,
# too much memory or a broken invariant. The input that did it is kept under build-fuzz/runs.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [seconds-per-target]" >&2
  exit 2
fi

scripts/setup.sh --fuzz --no-build
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVARNEL_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzzers -j2

export UBSAN_OPTIONS=print_stacktrace=1
runs=build-fuzz/runs
found=0
summary=()
for source in fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  work="$runs/$name"
  # The corpus grows in build-fuzz from run to run; the committed seeds are only ever read.
  mkdir -p "$work/corpus"
  rm -rf "$work/findings"
  mkdir -p "$work/findings"
  if [ -d "fuzz/corpus/$name" ]; then
    cp -f "fuzz/corpus/$name"/* "$work/corpus/"
  fi
  dict=()
  if [ -f "fuzz/dict/$name.dict" ]; then
    dict=(-dict="fuzz/dict/$name.dict")
  fi

  echo "== $name: ${seconds}s"
  status=0
  "build-fuzz/fuzz/$name" "$work/corpus" "${dict[@]}" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$work/findings/" \
    >"$work/log" 2>&1 || status=$?

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  artifacts=$(find "$work/findings" -type f | sort)
  if [ "$status" -ne 0 ] || [ -n "$artifacts" ]; then
    found=1
    result="FINDING (exit $status) ${artifacts:-see log}"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|.*invariant broken)' "$work/log" | head -n 5 || true
    echo "   log: $work/log"
  else
    result="no finding"
  fi
  summary+=("$(printf '%-28s %12s executions  %s' "$name" "${execs:-?}" "$result")")
done

echo
echo "Fuzzing, ${seconds}s per target:"
printf '%s\n' "${summary[@]}"
exit "$found"
