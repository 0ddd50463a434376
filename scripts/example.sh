#!/usr/bin/env bash
# Builds xKESTRA and runs it on the bundled example family in a fresh
# working directory, run/example/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXK_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"

work=run/example
rm -rf "$work"
mkdir -p "$work"
cp data/example/globins4.fa "$work/"
cd "$work"
# The working directory holds the programs and data files a run needs.
for f in ../../build/bin/*; do
  case "$(basename "$f")" in xk_tests|bench_*|xk_makedata) ;; *) cp "$f" . ;; esac
done
echo "== converting the first sequence of globins4.fa with xmkprof"
awk 'NR==1 || !/^>/ {if (NR>1 && /^>/) exit; print}' globins4.fa | ./xmkprof hbb.drct HBB >/dev/null
echo "== listing it with showprof (first lines)"
./showprof hbb.drct | head -n 5
echo "Result: $PWD/hbb.drct"
