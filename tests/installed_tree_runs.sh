#!/usr/bin/env bash
# An installed tree in a temporary prefix runs the bundled example from a
# directory that holds only the input, and writes the report the build
# tree writes.  Arguments: the build folder, the source folder.
set -euo pipefail
build=$1 source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
for f in bin/xKESTRA bin/xmkprof bin/showprof bin/xkordel_gamma share/xkestra/model_R.hmm share/xkestra/observed \
         share/xkestra/expected share/man/man1/xKESTRA.1 share/man/man1/xmkprof.1 share/man/man1/showprof.1 \
         share/man/man1/xkordel_gamma.1; do
  [ -f "$tmp/prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# The first 60 residues of each globin keep the run short.
mkdir "$tmp/job" "$tmp/reference"
awk '/^>/ { print; n = 0; next } n++ == 0' "$source/data/example/globins4.fa" > "$tmp/job/in.fa"
cp "$tmp/job/in.fa" "$tmp/reference/in.fa"
(cd "$tmp/job" && "$tmp/prefix/bin/xKESTRA" in.fa out.txt -r 1 -p 1 >console.txt)
(cd "$tmp/reference" && "$build/bin/xKESTRA" in.fa out.txt -r 1 >console.txt)
cmp "$tmp/job/out.txt" "$tmp/reference/out.txt"
[ "$(ls -A "$tmp/job" | sort | tr '\n' ' ')" = "LOG console.txt in.fa out.txt " ] || { ls -A "$tmp/job"; exit 1; }
echo "installed tree: same report from $tmp/job"
