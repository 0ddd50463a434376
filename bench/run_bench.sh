#!/usr/bin/env bash
# Whole-run benchmark of xKESTRA against mafft (--localpair --maxiterate
# 1000), probcons and muscle (-align), and their accuracy on a few BAliBASE
# cases.  Usage (from anywhere): bench/run_bench.sh [--no-balibase]
#
# Every run's wall and processor seconds and its peak resident memory come
# from /usr/bin/time; the report ends with the ratios of xKESTRA to each
# peer, and run/bench/time_vs_sequences.png plots wall time against the
# number of sequences (bench/plot_times.py).
#
# Builds the programs it needs (RelWithDebInfo, build/), installs mafft,
# probcons and muscle with apt-get for this benchmark only (they are not
# dependencies of the suite), then, for every timing set and case, runs each
# program once in a fresh working directory under run/bench/ and prints the
# tables (bench/bench_report.py).  Each run is stopped after CAP seconds.
# Timings are wall-clock and processor seconds of one run each, on a machine
# that may be shared: the core count and load averages are printed with them.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
shared=$repo/../shared/bench
sets=(a_globins4 b_pkinase28 c_proteases80 d_proteases172)
# XK_BENCH_SETS / XK_BENCH_PEERS in the environment choose fewer sets or peers
# (space-separated names), to fit a short time on a shared machine.
[ -n "${XK_BENCH_SETS:-}" ] && read -r -a sets <<<"$XK_BENCH_SETS"
peers=(mafft probcons muscle)
[ -n "${XK_BENCH_PEERS:-}" ] && read -r -a peers <<<"$XK_BENCH_PEERS"
cases=(RV11/BB11001 RV11/BB11006 RV11/BB11020 RV12/BB12002 RV12/BB12005 RV12/BB12006)
cap=${XK_BENCH_CAP:-600}  # seconds; XK_BENCH_CAP in the environment sets another
[ "${1:-}" = "--no-balibase" ] && cases=()
[ -d "$shared/sets" ] || { echo "no $shared/sets (the shared data beside the checkout)" >&2; exit 1; }

# -- programs -----------------------------------------------------------------
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
missing=()
for p in mafft probcons muscle python3; do command -v "$p" >/dev/null || missing+=("$p"); done
[ -x /usr/bin/time ] || missing+=(time)
# The plot needs the system's Python, where the Debian package installs matplotlib.
plotpy=/usr/bin/python3
[ -x "$plotpy" ] || plotpy=python3
"$plotpy" -c 'import matplotlib' 2>/dev/null || missing+=(python3-matplotlib)
if ((${#missing[@]})); then
  echo "== installing for this benchmark only: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j 2 --target xKESTRA xmkprof xkordel_gamma bench_run_phases
bin=$repo/build/bin

# -- measuring ----------------------------------------------------------------
out=$repo/run/bench
rm -rf "$out"
mkdir -p "$out"
timings=$out/timings.tsv
: >"$timings"

# A fresh working directory for one run, with the input as in.fa.
fresh() {  # dir input
  rm -rf "$1"
  mkdir -p "$1"
  cp "$2" "$1/in.fa"
}

# Runs a command in a directory, stdout to out file, stderr to log; appends
# "case tool wall user sys load status peak_kib sequences" to timings.tsv
# (times of the command and its children, peak resident memory of the
# largest process).
measure() {  # case tool dir stdout-file command...
  local case=$1 tool=$2 dir=$3 stdout=$4
  shift 4
  local load status=0 wall user sys peak n
  load=$(cut -d' ' -f1 /proc/loadavg)
  n=$(grep -c '^>' "$dir/in.fa")
  (cd "$dir" && /usr/bin/time -o time.txt -f '%e %U %S %M' timeout "$cap" "$@" >"$stdout" 2>log.txt) || status=$?
  read -r wall user sys peak < <(tail -n 1 "$dir/time.txt")
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$case" "$tool" "$wall" "$user" "$sys" "$load" "$status" "$peak" "$n" \
    >>"$timings"
  if [ "$status" -eq 124 ]; then
    echo "   $tool on $case passed the cap of $cap s and was stopped"
  elif [ "$status" -ne 0 ]; then
    echo "   $tool on $case ended with status $status (see $dir/log.txt)"
  fi
  printf '   %-9s %8s s wall\n' "$tool" "$wall"
}

# xKESTRA, mafft, probcons and muscle on one FASTA file, each in its own
# fresh working directory under $1.
run_all() {  # case input workdir
  local case=$1 input=$2 w=$3
  fresh "$w/xkestra" "$input"
  for f in xKESTRA xmkprof xkordel_gamma model_R.hmm observed expected; do cp "$bin/$f" "$w/xkestra/"; done
  measure "$case" xkestra "$w/xkestra" console.txt ./xKESTRA in.fa out.txt -r 1
  for p in "${peers[@]}"; do
    fresh "$w/$p" "$input"
    case $p in
      mafft) measure "$case" mafft "$w/mafft" out.fa mafft --localpair --maxiterate 1000 in.fa ;;
      probcons) measure "$case" probcons "$w/probcons" out.fa probcons in.fa ;;
      muscle) measure "$case" muscle "$w/muscle" muscle.txt muscle -align in.fa -output out.fa ;;
    esac
  done
}

echo "== cores: $(nproc); load averages at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== versions: mafft $(mafft --version 2>&1 | head -n 1), probcons $(dpkg-query -W -f='${Version}' probcons 2>/dev/null),"\
     "muscle $(muscle -version 2>&1 | head -n 1 | awk '{print $2}')"
for s in "${sets[@]}"; do
  echo "== set $s"
  w=$out/sets/$s
  mkdir -p "$w"
  run_all "$s" "$shared/sets/$s.fa" "$w"
  # The same run phase by phase, in a scratch directory of its own.
  (cd "$w" && timeout "$cap" "$bin/bench_run_phases" --set="$shared/sets/$s.fa" --seed=1 \
    --benchmark_out="$w/phases.json" --benchmark_out_format=json >"$w/phases.txt" 2>&1) ||
    echo "   bench_run_phases on $s stopped (status $?)"
done
for c in "${cases[@]}"; do
  name=$(basename "$c")
  echo "== BAliBASE $name"
  run_all "$name" "$shared/balibase/$c.tfa" "$out/balibase/$name"
done
echo "== load averages at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "Cores: $(nproc).  xKESTRA's all-pairs phase uses one thread per core; muscle 5 uses all cores;"
echo "mafft (no --thread) and probcons use one."
echo
python3 bench/bench_report.py "$out" "$shared/balibase" | tee "$out/report.txt"
"$plotpy" bench/plot_times.py "$timings" "$out/time_vs_sequences.png"
