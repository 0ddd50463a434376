#!/usr/bin/env bash
# Accuracy benchmark of xKESTRA against Kalign, Clustal Omega, MAFFT L-INS-i,
# MUSCLE and ProbCons on BAliBASE RV11, RV12 and the held-out HOMSTRAD
# families (SP and TC against the references; tables and plots).
#
# Usage (from anywhere): bench/accuracy/run.sh [--no-install] [accuracy.py options]
#   e.g. nice -n 10 bench/accuracy/run.sh
#        bench/accuracy/run.sh --sets RV11 --limit 5 --peers none
#        bench/accuracy/run.sh --data ../other-model --label xk-other --peers none
#        bench/accuracy/run.sh --xk-args '-m accurate' --label xk-accurate
#        bench/accuracy/run.sh --allpairs   (also the all-pairs phase's pairwise
#          alignments beside BLOSUM62 local and end to end, allpairs.md)
# (bench/accuracy/accuracy.py --help lists the options.)
#
# Builds xKESTRA (build/, Release) unless --bin points elsewhere, installs the
# peers and matplotlib as Debian packages for this benchmark only (with sudo
# when not root; --no-install skips that; a peer that is still missing is
# reported and skipped), then runs accuracy.py.  Results: run/accuracy/
# (summary.md, scores.tsv, sp_SET.png, and every run's folder under runs/).
set -euo pipefail
cd "$(dirname "$0")/../.."

install=1
args=()
for a in "$@"; do
  if [ "$a" = "--no-install" ]; then install=0; else args+=("$a"); fi
done

if ((install)); then
  packages=(kalign clustalo mafft muscle probcons python3 python3-matplotlib)
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "== installing for this benchmark only: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    { $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; } ||
      echo "== installation failed: the missing peers are skipped"
  fi
fi

if [[ " ${args[*]-} " != *" --bin "* ]]; then
  targets=(xKESTRA xmkprof xkordel_gamma)
  bench=OFF
  # The all-pairs comparison needs the baselines' program, a benchmark target.
  [[ " ${args[*]-} " == *" --allpairs "* ]] && bench=ON && targets+=(xk_pair_aligners)
  if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DXK_BENCH=$bench >/dev/null
  elif [ $bench = ON ]; then
    cmake -S . -B build -DXK_BENCH=ON >/dev/null
  fi
  cmake --build build -j 2 --target "${targets[@]}"
fi

# Debian's interpreter, which has the Debian matplotlib.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
echo "== cores: $(nproc); load averages at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for p in kalign clustalo mafft muscle probcons; do
  command -v "$p" >/dev/null && echo "   $p $(dpkg-query -W -f='${Version}' "$p" 2>/dev/null)"
done
exec "$python" bench/accuracy/accuracy.py "${args[@]}"
