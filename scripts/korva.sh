#!/usr/bin/env bash
# Named steps for setting up, building, demonstrating and testing the system on Debian 12.
# Usage: scripts/korva.sh STEP...   (steps: packages locales build register demo test
#        test-asan test-tsan fuzz; "all-demo" and "all-test" chain what the README shows)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

step_packages() {
  local pkgs=(g++ cmake ninja-build pkg-config libsqlite3-dev libgtest-dev libgmock-dev
              libbenchmark-dev qt6-base-dev libgl-dev locales clang libclang-rt-14-dev)
  local missing=()
  for p in "${pkgs[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  if [ ${#missing[@]} -gt 0 ]; then
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
  fi
}

# Tests format timestamps in a German and an English locale.
step_locales() {
  local want=(de_DE.UTF-8 en_US.UTF-8) gen=0
  for l in "${want[@]}"; do
    locale -a 2>/dev/null | grep -qi "^${l/UTF-8/utf8}$" && continue
    as_root sed -i "s/^# *${l} UTF-8/${l} UTF-8/" /etc/locale.gen
    grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    gen=1
  done
  if [ $gen = 1 ]; then as_root locale-gen >/dev/null; fi
}

build_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

step_build() { build_preset default; }

# Registers the simulation server and the server list component in the user's registry, and
# the desktop's PDF reader for ".pdf" when one is installed.
step_register() {
  local bin=build/default/bin
  "$bin/regsvr" "$bin/libopcsim.so"
  "$bin/regsvr" "$bin/libopcenum.so"
  if command -v xdg-mime >/dev/null 2>&1; then scripts/register-pdf-reader.sh "$bin/reg" || true; fi
}

step_demo() {
  local bin=build/default/bin
  "$bin/korva" info examples/demo.kmd
  "$bin/korva" run examples/demo.kmd --duration 5 --step 0.5 --realtime --csv build/demo.csv
  echo "CSV of the run: build/demo.csv; run log: $bin/Virin_*.log"
}

step_test() { build_preset default; ctest --preset default; }
step_test_asan() { build_preset asan; ctest --preset asan; }
step_test_tsan() { build_preset tsan; ctest --preset tsan; }
# Each fuzzer runs for a bounded time on a copy of its checked-in corpus; a finding fails the step.
step_fuzz() {
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs" --target fuzzers
  local seconds=${KORVA_FUZZ_SECONDS:-45}
  for f in build/fuzz/bin/fuzz_*; do
    [ -x "$f" ] || continue
    local name=${f##*/fuzz_} work="build/fuzz/work/${f##*/fuzz_}" args=()
    rm -rf "$work" && mkdir -p "$work"
    [ -f "fuzz/$name.dict" ] && args+=("-dict=fuzz/$name.dict")
    echo "fuzzing $name for ${seconds}s"
    if ! "$f" "${args[@]}" -max_total_time="$seconds" -artifact_prefix="$work/" \
         "$work" "fuzz/corpus/$name" > "$work.log" 2>&1; then
      tail -n 40 "$work.log"; echo "fuzz_$name found a failure (see $work)" >&2; return 1
    fi
    tail -n 2 "$work.log"
  done
}

for s in "$@"; do
  case "$s" in
    packages) step_packages ;;
    locales) step_locales ;;
    build) step_build ;;
    register) step_register ;;
    demo) step_demo ;;
    test) step_test ;;
    test-asan) step_test_asan ;;
    test-tsan) step_test_tsan ;;
    fuzz) step_fuzz ;;
    all-demo) step_packages; step_locales; step_build; step_register; step_demo ;;
    all-test) step_packages; step_locales; step_test; step_test_asan; step_test_tsan; step_fuzz ;;
    *) echo "unknown step: $s" >&2; exit 2 ;;
  esac
done
