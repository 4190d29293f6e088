#!/usr/bin/env bash
# Builds korvel at two revisions and compares what they write, byte for
# byte, for every ordered pair of PDF files in the given directories (in
# plain and /s modes), for the benchmark pairs that exist in bench/work, and
# for the joins of three inputs in each directory. Exit status, standard
# output and standard error are compared too. Used to show that a change
# meant to keep behaviour (a move, a split) writes the same bytes.
#
#   scripts/compare-outputs.sh OLD_REV [NEW_REV] [DIR ...]
#
# NEW_REV defaults to the work tree as it stands; DIR to ../shared/corpus.
# Prints one line per difference and a summary; exits 1 on any difference.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: scripts/compare-outputs.sh OLD_REV [NEW_REV] [DIR ...]" >&2; exit 2; }
old=$1
shift
new=WORKTREE
if [ $# -ge 1 ] && [ ! -d "$1" ]; then
  new=$1
  shift
fi
dirs=("$@")
[ ${#dirs[@]} -gt 0 ] || dirs=("$top/../shared/corpus")

work=$(mktemp -d "${TMPDIR:-/tmp}/korvel-compare-XXXXXX")
trap 'cd "$top"; for t in "$work"/tree-*; do [ -d "$t" ] && git -C "$top" worktree remove --force "$t" >/dev/null 2>&1; done; rm -rf "$work"' EXIT

build() {  # build REV NAME -> $work/NAME/korvel
  local rev=$1 name=$2 src
  if [ "$rev" = WORKTREE ]; then
    src=$top
  else
    src=$work/tree-$name
    git -C "$top" worktree add --detach "$src" "$rev" >/dev/null 2>&1
  fi
  cmake -S "$src" -B "$work/build-$name" -DKORVEL_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$work/build-$name" -j "$(nproc)" --target korvel >/dev/null
  mkdir -p "$work/$name"
  cp "$work/build-$name/korvel" "$work/$name/korvel"
}
build "$old" old
build "$new" new

BENCH_WORK=$top/bench/work python3 - "$work" "${dirs[@]}" <<'PY'
import glob, itertools, os, shutil, subprocess, sys

work, dirs = sys.argv[1], sys.argv[2:]
cases = []
for d in dirs:
    files = sorted(glob.glob(os.path.join(d, "*.pdf")))
    cases += [[a, b] for a in files for b in files]
    cases += [files[i:i + 3] for i in range(0, max(len(files) - 2, 0), 3)]
bench = os.environ["BENCH_WORK"]
for a, b in (("a1", "a2"), ("b1", "b2"), ("c1", "c2"), ("d1", "d2"), ("e1", "e1"), ("g1", "g2"), ("h1", "h2")):
    pa, pb = os.path.join(bench, a + ".pdf"), os.path.join(bench, b + ".pdf")
    if os.path.isfile(pa) and os.path.isfile(pb):
        cases.append([pa, pb])
many = sorted(glob.glob(os.path.join(bench, "f???.pdf")))
if many:
    cases.append(many)

def run(name, inputs, switches):
    d = os.path.join(work, "run-" + name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    out = os.path.join(d, "out.pdf")
    p = subprocess.run([os.path.join(work, name, "korvel")] + inputs + [out] + switches, cwd=d,
                       capture_output=True, timeout=600)
    data = open(out, "rb").read() if os.path.exists(out) else None
    return p.returncode, p.stdout, p.stderr, data

runs = differences = 0
for inputs in cases:
    for switches in ([], ["/s"]):
        runs += 1
        a, b = run("old", inputs, switches), run("new", inputs, switches)
        if a != b:
            differences += 1
            what = [k for k, x, y in zip(("status", "stdout", "stderr", "output"), a, b) if x != y]
            print("DIFFERENT (%s): %s %s" % (", ".join(what), " ".join(map(os.path.basename, inputs)), " ".join(switches)))
print("%d runs over %d input sets: %d identical, %d different" % (runs, len(cases), runs - differences, differences))
sys.exit(1 if differences else 0)
PY
