#!/usr/bin/env bash
# Benchmarks korvel on large inputs, side by side with `cat` (the floor: just
# moving the bytes) and `qpdf --empty --pages` (a full PDF merger).
#
#   bench/run.sh KORVEL_BINARY
#
# Inputs are generated into bench/work/ on the first run and kept for the
# next ones (regenerated when the generators change):
#   (a) two files of 1,000 pages and ~50 MB each (100 MB, 2,000 pages in
#       all); every page has its own image of random pixels, so the size is
#       real, not compressible padding; classic cross-reference tables
#   (b) the same pair rewritten by qpdf with object streams and xref streams
#   (c) two files of 10,000 small text pages each (20,000 pages in all)
#   (d) two 300-page files made by qpdf from the same source pages in two
#       orders, so their fonts and images are equal byte for byte: korvel
#       plain against korvel /s
#   (e) a 20,000-page document with a named destination and a bookmark for
#       every page, appended to itself (every name collides)
#   (f) 100 inputs of about 1 MB each (20 image pages) joined in one run,
#       beside cat, qpdf --empty --pages and pdfunite on the same inputs
#   (m) 20,000 inputs of one small page each (copies of one file, named
#       with spaces) from an argument list in one run, beside cat on the
#       same files (korvel/cat), and qpdf --empty --pages once
#   (g) two files of 2,000 pages and ~96 MB each shaped like many real
#       files: four objects a page (page, content, an image of 25 to 50 KB,
#       a thumbnail of ~10 KB)
#   (t) a tagged document of 20,000 pages (one paragraph element a page, a
#       tagged link annotation on every tenth) appended to itself: the
#       structure tree joined, its parent-tree keys moved
#   (u) one page appended to the first file of (g): --incremental in place
#       and with an output, beside the full append both ways and cp
#   (h) two documents of 200,000 text pages (~800,000 objects in all):
#       korvel's time and peak memory, plain and /s, and bytes of peak
#       memory per input object, beside qpdf's. qpdf runs once, limited to
#       2 minutes and 6 GB; beyond that it runs on two 50,000-page
#       documents instead, and the table says so.
#   (i) only with BENCH_HUGE=1: two inputs of ~1.5 GB (1,000 pages of
#       uncompressed random image data each, a 3 GB result), korvel and cat
#       BENCH_HUGE_RUNS times (default 5), qpdf once, each after the
#       previous result is removed and synced. Needs ~13 GB of free disk in
#       bench/work while it runs; its files are made in bench/work/huge and
#       removed afterwards (kept with BENCH_KEEP_HUGE=1). The in-place
#       form runs once on a copy of the first input, checked for pages and
#       mode.
#         BENCH_HUGE=1 BENCH_RUNS=9 bench/run.sh build/korvel
# The pairs (a) to (t) are also run with /s; the table gives /s over plain.
# Each command is timed as a whole process (wall clock), RUNS times
# (default 5, env BENCH_RUNS), interleaved, and the median is reported.
# Korvel's peak resident memory comes from /usr/bin/time -f %M. The inputs
# are in the page cache (warm runs). Run it on a quiet machine: other work
# on the cores makes the medians wander.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: bench/run.sh KORVEL_BINARY" >&2
  exit 2
fi
korvel=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
[ -x "$korvel" ] || { echo "not an executable: $1" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$here/work
runs=${BENCH_RUNS:-5}
for tool in qpdf gs python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench/run.sh needs $tool (apt-get install qpdf ghostscript python3 time)" >&2; exit 2; }
done
mkdir -p "$work"
cd "$work"

# ---------------------------------------------------------------- inputs

# A change to a generator (this script or make_pdf.py) makes new inputs.
stamp=$(cat "$here/make_pdf.py" "$here/make_named.py" "$here/make_tagged.py" <(sed -n '/^# BEGIN GENERATORS/,/^# END GENERATORS/p' "$here/run.sh") | sha256sum | cut -c1-16)
if [ "$(cat .inputs-stamp 2>/dev/null)" != "$stamp" ]; then
  rm -rf ./*.pdf ./*.ps .inputs-stamp m m.list m.qpdf-args
fi

# BEGIN GENERATORS
gs_pdf() {  # gs_pdf OUT.pdf < program.ps
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -dEmbedAllFonts=true -dSubsetFonts=false \
     -dAutoFilterGrayImages=false -dGrayImageFilter=/FlateEncode -dDownsampleGrayImages=false \
     -o "$1" -
}

text_pages_ps() {  # text_pages_ps LABEL PAGES
  cat <<EOF
%!PS
<< /PageSize [420 595] >> setpagedevice
1 1 $2 { /n exch def
  /Helvetica findfont 18 scalefont setfont 40 540 moveto ($1 page ) show n 10 string cvs show
  /Times-Roman findfont 11 scalefont setfont
  40 500 moveto (A small page of ordinary text: a line, another line, and a shape.) show
  40 484 moveto (Twenty thousand of these make a long document with a deep page tree.) show
  0.5 setgray 40 100 n 20 mod 10 mul 10 add 40 rectfill 0 setgray showpage } for
EOF
}

shared_source_ps() {  # 300 pages; 30 noise images and 5 fonts, each on many pages
  cat <<'EOF'
%!PS
<< /PageSize [420 595] >> setpagedevice
12345 srand
/imgs [ 0 1 29 { pop 65536 string dup length 1 sub 0 1 3 -1 roll { 1 index exch rand -16 bitshift 255 and put } for } for ] def
/fonts [ /Times-Roman /Helvetica /Courier /Times-Bold /Helvetica-Oblique ] def
1 1 300 { /n exch def
  fonts n 5 mod get findfont 16 scalefont setfont
  40 540 moveto (Shared source page ) show n 10 string cvs show
  fonts n 3 add 5 mod get findfont 10 scalefont setfont
  40 510 moveto (The fonts and the image of this page appear on other pages too.) show
  gsave 80 160 translate 260 260 scale 256 256 8 [256 0 0 -256 0 256] imgs n 30 mod get image grestore
  showpage } for
EOF
}

make_inputs() {
  [ -f a1.pdf ] || python3 "$here/make_pdf.py" a1.pdf 1000 224 1 "First"
  [ -f a2.pdf ] || python3 "$here/make_pdf.py" a2.pdf 1000 224 2 "Second"
  [ -f b1.pdf ] || qpdf --object-streams=generate a1.pdf b1.pdf
  [ -f b2.pdf ] || qpdf --object-streams=generate a2.pdf b2.pdf
  [ -f c1.pdf ] || text_pages_ps "First" 10000 | gs_pdf c1.pdf
  [ -f c2.pdf ] || text_pages_ps "Second" 10000 | gs_pdf c2.pdf
  [ -f d-source.pdf ] || shared_source_ps | gs_pdf d-source.pdf
  [ -f d1.pdf ] || qpdf --empty --pages d-source.pdf 1-300 -- d1.pdf
  [ -f d2.pdf ] || qpdf --empty --pages d-source.pdf 300-1 -- d2.pdf
  [ -f e1.pdf ] || python3 "$here/make_named.py" e1.pdf 20000
  [ -f t1.pdf ] || python3 "$here/make_tagged.py" t1.pdf 20000
  for i in $(seq -w 1 100); do
    [ -f "f$i.pdf" ] || python3 "$here/make_pdf.py" "f$i.pdf" 20 224 "$((10#$i + 100))" "Part$i"
  done
  [ -f g1.pdf ] || python3 "$here/make_pdf.py" g1.pdf 2000 224 3 "First" --min-side 160 --thumb 100
  [ -f g2.pdf ] || python3 "$here/make_pdf.py" g2.pdf 2000 224 4 "Second" --min-side 160 --thumb 100
  [ -f m.list ] || make_many_small
  [ -f h1.pdf ] || python3 "$here/make_pdf.py" h1.pdf 200000 0 5 "First"
  [ -f h2.pdf ] || python3 "$here/make_pdf.py" h2.pdf 200000 0 6 "Second"
}

make_many_small() {  # (m): 20,000 copies of a one-page invoice, and their list
  mkdir -p m
  text_pages_ps "Invoice" 1 | gs_pdf m/one.pdf
  python3 - <<'EOF'
import shutil
names = ["m/invoice %05d.pdf" % i for i in range(1, 20001)]
for name in names:
    shutil.copyfile("m/one.pdf", name)
with open("m.qpdf-args", "w") as f:
    f.write("--empty\n--pages\n" + "".join(name + "\n" for name in names) + "--\nout.qpdf.pdf\n")
with open("m.list", "w") as f:
    f.write("".join(name + "\n" for name in names))
EOF
}

# Made only when asked for, and removed after the run.
make_huge_inputs() {
  mkdir -p huge
  [ -f huge/i1.pdf ] || python3 "$here/make_pdf.py" huge/i1.pdf 1000 1250 7 "First" --raw
  [ -f huge/i2.pdf ] || python3 "$here/make_pdf.py" huge/i2.pdf 1000 1250 8 "Second" --raw
}
make_quarter_inputs() {  # for qpdf when the 200,000-page pair is too much for it
  [ -f h50-1.pdf ] || python3 "$here/make_pdf.py" h50-1.pdf 50000 0 5 "First"
  [ -f h50-2.pdf ] || python3 "$here/make_pdf.py" h50-2.pdf 50000 0 6 "Second"
}
# END GENERATORS

if [ ! -f .inputs-stamp ]; then
  echo "Generating inputs in $work (once; kept for later runs) ..."
fi
make_inputs
echo "$stamp" > .inputs-stamp

# ---------------------------------------------------------------- timing

# Per-run records (times, peak RSS, output of failed commands) go to runs/.
rm -rf runs
mkdir runs
now_ns() { date +%s%N; }

# timed NAME OUT -- COMMAND...: runs the command once, appends its wall
# time (seconds) to runs/NAME.times and its peak RSS (KB) to runs/NAME.rss.
# try_timed does the same but only answers false when the command fails.
try_timed() {
  local name=runs/$1 out=$2; shift 3
  rm -f "$out"
  local t0 t1
  t0=$(now_ns)
  /usr/bin/time -f %M -o "$name.rss1" "$@" >"$name.stdout" 2>"$name.stderr" || return 1
  t1=$(now_ns)
  echo "$t0 $t1" | awk '{ printf "%.4f\n", ($2 - $1) / 1e9 }' >>"$name.times"
  tail -n 1 "$name.rss1" >>"$name.rss"
}
timed() {
  if ! try_timed "$@"; then
    shift 3
    echo "FAILED: $* (see $work/runs/ for its output)" >&2
    exit 1
  fi
}

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
maximum() { sort -g "$1" | tail -n 1; }
mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.3f", b / 1048576 }'; }
pages() { qpdf --show-npages "$1"; }

# check_output OUT IN1 IN2: the result is valid and has the pages of both
# inputs.
check_output() {
  local want got status=0
  qpdf --check "$1" >/dev/null 2>&1 || status=$?
  if [ "$status" != 0 ] && [ "$status" != 3 ]; then
    echo "WRONG RESULT: qpdf --check $1 exits with $status" >&2
    exit 1
  fi
  want=$(( $(pages "$2") + $(pages "$3") ))
  got=$(pages "$1")
  if [ "$got" != "$want" ]; then
    echo "WRONG RESULT: $1 has $got pages, expected $want" >&2
    exit 1
  fi
}

rows=()

# settle: with SETTLE=1, the previous result is removed and written back
# before each run, so that a run of gigabytes is not slowed down by the
# write-back of the one before it.
settle() {
  if [ "${SETTLE:-0}" = 1 ]; then
    rm -f out.pdf out.cat out.qpdf.pdf
    sync
  fi
}

# bench_pair KEY LABEL IN1 IN2 [RUNS [QPDF_RUNS]]: korvel, cat and qpdf on
# the same pair (RUNS defaults to BENCH_RUNS, QPDF_RUNS to RUNS).
bench_pair() {
  local key=$1 label=$2 in1=$3 in2=$4 n=${5:-$runs}
  local nq=${6:-$n} i
  echo "($key) $label: $n runs each of korvel and cat, $nq of qpdf ..."
  for i in $(seq "$n"); do
    settle
    timed "$key.korvel" out.pdf -- "$korvel" "$in1" "$in2" out.pdf
    settle
    timed "$key.cat" out.cat -- sh -c 'cat "$1" "$2" > "$3"' sh "$in1" "$in2" out.cat
    settle
    timed "$key.compact" out.pdf -- "$korvel" "$in1" "$in2" out.pdf /s
    if [ "$i" -le "$nq" ]; then
      settle
      timed "$key.qpdf" out.qpdf.pdf -- qpdf --empty --pages "$in1" "$in2" -- out.qpdf.pdf
    fi
  done
  rm -f out.cat out.qpdf.pdf
  "$korvel" "$in1" "$in2" out.pdf
  check_output out.pdf "$in1" "$in2"
  local k c q
  k=$(median "runs/$key.korvel.times"); c=$(median "runs/$key.cat.times"); q=$(median "runs/$key.qpdf.times")
  local kc
  kc=$(median "runs/$key.compact.times")
  rows+=("$(awk -v l="($key) $label" -v p="$(pages out.pdf)" -v s="$(( $(stat -c %s "$in1") + $(stat -c %s "$in2") ))" \
               -v k="$k" -v c="$c" -v q="$q" -v r="$(maximum "runs/$key.korvel.rss")" -v kc="$kc" \
    'BEGIN { printf "%-28s %6d %9.1f %9.3f %8.3f %8.3f %10.2f %11.1f %9.1f %8.3f %10.2f", l, p, s / 1048576, k, c, q, k / c, q / k, r / 1024, kc, kc / k }')")
  rm -f out.pdf out.cat out.qpdf.pdf
}

bench_pair a "images, classic xref" a1.pdf a2.pdf
bench_pair b "images, object streams" b1.pdf b2.pdf
bench_pair c "20,000 small pages" c1.pdf c2.pdf
bench_pair e "20,000 pages, named dests" e1.pdf e1.pdf
bench_pair g "4 objects a page, 25-50 KB" g1.pdf g2.pdf
bench_pair t "20,000 tagged pages" t1.pdf t1.pdf

# (h) memory on many objects: korvel plain and /s, then qpdf once, bounded.
objects() { tail -c 4096 "$1" | tr -c '[:print:]' '\n' | grep -o '/Size [0-9]*' | tail -n 1 | cut -d' ' -f2; }
echo "(h) 200,000 + 200,000 pages: $runs runs each of korvel and korvel /s, qpdf once ..."
for _ in $(seq "$runs"); do
  timed h.plain out.pdf -- "$korvel" h1.pdf h2.pdf out.pdf
  timed h.compact out.pdf -- "$korvel" h1.pdf h2.pdf out.pdf /s
done
check_output out.pdf h1.pdf h2.pdf
rm -f out.pdf
hobjects=$(( $(objects h1.pdf) + $(objects h2.pdf) - 2 ))
qlabel="200,000 + 200,000 pages"
if ! (ulimit -v 6291456; try_timed h.qpdf out.qpdf.pdf -- timeout 120 qpdf --empty --pages h1.pdf h2.pdf -- out.qpdf.pdf); then
  echo "(h) qpdf needs more than 2 minutes or 6 GB on 200,000 + 200,000 pages: qpdf and korvel on 50,000 + 50,000 instead"
  make_quarter_inputs
  rm -f runs/h.qpdf.* runs/h.quarter.*
  timed h.qpdf out.qpdf.pdf -- qpdf --empty --pages h50-1.pdf h50-2.pdf -- out.qpdf.pdf
  timed h.quarter out.pdf -- "$korvel" h50-1.pdf h50-2.pdf out.pdf
  qlabel="50,000 + 50,000 pages"
fi
rm -f out.pdf out.qpdf.pdf

# (i) two 1.5 GB inputs, on request.
if [ "${BENCH_HUGE:-0}" = 1 ]; then
  echo "(i) generating two ~1.5 GB inputs in $work/huge ..."
  make_huge_inputs
  SETTLE=1 bench_pair i "1.5 GB + 1.5 GB, raw images" huge/i1.pdf huge/i2.pdf "${BENCH_HUGE_RUNS:-5}" 1
  # The in-place form on a 1.5 GB first input, once: the result replaces
  # it, keeps its mode and has both inputs' pages.
  echo "(i) the in-place form on a copy of the first input ..."
  cp huge/i1.pdf huge/inplace.pdf
  chmod 600 huge/inplace.pdf
  sync
  "$korvel" huge/inplace.pdf huge/i2.pdf
  want=$(( $(pages huge/i1.pdf) + $(pages huge/i2.pdf) ))
  [ "$(pages huge/inplace.pdf)" = "$want" ] || { echo "WRONG RESULT: in place, $(pages huge/inplace.pdf) pages, expected $want" >&2; exit 1; }
  [ "$(stat -c %a huge/inplace.pdf)" = 600 ] || { echo "WRONG RESULT: in place, mode $(stat -c %a huge/inplace.pdf)" >&2; exit 1; }
  [ "$(stat -c %s huge/inplace.pdf)" -gt 3000000000 ] || { echo "WRONG RESULT: in place, the result is too small" >&2; exit 1; }
  rm -f huge/inplace.pdf
  echo "(i) in place: $want pages, mode 600 kept"
  if [ "${BENCH_KEEP_HUGE:-0}" != 1 ]; then
    rm -rf huge
  fi
fi

# (u) one page appended to the 96 MB file of (g): as an incremental update
# in place and with an output, beside the full append (in place and with an
# output) and cp of the first input. The page is cut from (c) here, so it
# is not one of the kept inputs. Each in-place run works on a fresh copy,
# made before the clock starts.
echo "(u) one page onto 96 MB: $runs runs each, incremental and full, in place and with an output, and cp ..."
qpdf --empty --pages c1.pdf 1 -- one.pdf
# The copy is written back first: an archive being appended to is on disk
# already, and the update's flush would otherwise write the copy too.
for _ in $(seq "$runs"); do
  cp g1.pdf u.pdf
  sync
  timed u.inc-inplace none -- "$korvel" --incremental u.pdf one.pdf
  cp g1.pdf u.pdf
  sync
  timed u.full-inplace none -- "$korvel" u.pdf one.pdf
  timed u.inc-output out-inc.pdf -- "$korvel" --incremental g1.pdf one.pdf out-inc.pdf
  timed u.full-output out.pdf -- "$korvel" g1.pdf one.pdf out.pdf
  timed u.cp out.cp -- cp g1.pdf out.cp
done
check_output out-inc.pdf g1.pdf one.pdf
check_output u.pdf g1.pdf one.pdf
cmp -n "$(stat -c %s g1.pdf)" g1.pdf out-inc.pdf || { echo "WRONG RESULT: (u) g1.pdf is not the prefix of the update" >&2; exit 1; }
rm -f u.pdf out.pdf out-inc.pdf out.cp one.pdf

# (f) 100 inputs in one run.
echo "(f) 100 inputs of 1 MB: $runs runs each of korvel, cat, qpdf, pdfunite ..."
many=(f???.pdf)
for _ in $(seq "$runs"); do
  timed f.korvel out.pdf -- "$korvel" "${many[@]}" out.pdf
  timed f.cat out.cat -- sh -c 'cat "$@" > out.cat' sh "${many[@]}"
  timed f.qpdf out.qpdf.pdf -- qpdf --empty --pages "${many[@]}" -- out.qpdf.pdf
  if command -v pdfunite >/dev/null; then
    timed f.pdfunite out.unite.pdf -- pdfunite "${many[@]}" out.unite.pdf
  fi
done
qpdf --check out.pdf >/dev/null 2>&1 || [ $? = 3 ] || { echo "WRONG RESULT: (f) out.pdf is not valid" >&2; exit 1; }
[ "$(pages out.pdf)" = 2000 ] || { echo "WRONG RESULT: (f) out.pdf has $(pages out.pdf) pages" >&2; exit 1; }
fk=$(median runs/f.korvel.times); fc=$(median runs/f.cat.times); fq=$(median runs/f.qpdf.times)
fu=$( [ -f runs/f.pdfunite.times ] && median runs/f.pdfunite.times || echo 0)
rm -f out.pdf out.cat out.qpdf.pdf out.unite.pdf

# (m) 20,000 small inputs from a list; qpdf once (it takes minutes).
echo "(m) 20,000 small inputs: $runs runs each of korvel and cat, qpdf once ..."
for _ in $(seq "$runs"); do
  timed m.korvel out.pdf -- "$korvel" @m.list out.pdf
  timed m.cat out.cat -- sh -c 'xargs -d "\n" -a m.list cat > out.cat'
done
qpdf --check out.pdf >/dev/null 2>&1 || [ $? = 3 ] || { echo "WRONG RESULT: (m) out.pdf is not valid" >&2; exit 1; }
[ "$(pages out.pdf)" = 20000 ] || { echo "WRONG RESULT: (m) out.pdf has $(pages out.pdf) pages" >&2; exit 1; }
try_timed m.qpdf out.qpdf.pdf -- timeout 600 qpdf @m.qpdf-args || echo "qpdf failed or took over 10 minutes on (m)" >&2
mk=$(median runs/m.korvel.times); mc=$(median runs/m.cat.times)
mq=$( [ -f runs/m.qpdf.times ] && median runs/m.qpdf.times || echo 0)
rm -f out.pdf out.cat out.qpdf.pdf

# (d) plain against /s on documents that share fonts and images.
echo "(d) shared fonts and images: $runs runs each of korvel and korvel /s ..."
for _ in $(seq "$runs"); do
  timed d.plain out-plain.pdf -- "$korvel" d1.pdf d2.pdf out-plain.pdf
  timed d.compact out-compact.pdf -- "$korvel" d1.pdf d2.pdf out-compact.pdf /s
done
check_output out-plain.pdf d1.pdf d2.pdf
check_output out-compact.pdf d1.pdf d2.pdf
dp=$(median runs/d.plain.times); dc=$(median runs/d.compact.times)

echo
echo "korvel: $korvel; median of $runs runs, warm page cache; $(nproc) cores"
printf '%-28s %6s %9s %9s %8s %8s %10s %11s %9s %8s %10s\n' "case" "pages" "input MB" "korvel s" "cat s" "qpdf s" "korvel/cat" "qpdf/korvel" "RSS MB" "/s s" "/s / plain"
for row in "${rows[@]}"; do
  echo "$row"
done
echo
printf '%-28s %8s %8s %9s %8s %8s %8s %10s\n' "(d) shared fonts, images" "in1 MB" "in2 MB" "plain MB" "/s MB" "plain s" "/s s" "/s / plain"
awk -v a="$(mb d1.pdf)" -v b="$(mb d2.pdf)" -v p="$(mb out-plain.pdf)" -v c="$(mb out-compact.pdf)" -v tp="$dp" -v tc="$dc" \
  'BEGIN { printf "%-28s %8.2f %8.2f %9.2f %8.2f %8.3f %8.3f %10.2f\n", "300 + 300 pages", a, b, p, c, tp, tc, tc / tp }'
rm -f out-plain.pdf out-compact.pdf
echo
printf '%-28s %9s %8s %9s %11s %8s %9s %11s\n' "(h) many objects" "objects" "time s" "RSS MB" "bytes/obj" "qpdf s" "qpdf MB" "qpdf on"
hrow() {  # hrow LABEL KEY
  awk -v l="$1" -v n="$hobjects" -v t="$(median "runs/$2.times")" -v r="$(maximum "runs/$2.rss")" \
      -v qt="$(median runs/h.qpdf.times)" -v qr="$(maximum runs/h.qpdf.rss)" -v q="$qlabel" \
    'BEGIN { printf "%-28s %9d %8.3f %9.1f %11.1f %8.1f %9.0f %11s\n", l, n, t, r / 1024, r * 1024 / n, qt, qr / 1024, q }'
}
hrow "korvel, 200,000 + 200,000" h.plain
hrow "korvel /s, 200,000 + 200,000" h.compact
if [ -f runs/h.quarter.times ]; then
  awk -v t="$(median runs/h.quarter.times)" -v r="$(maximum runs/h.quarter.rss)" \
    'BEGIN { printf "%-28s %9s %8.3f %9.1f\n", "korvel, 50,000 + 50,000", "", t, r / 1024 }'
fi
echo
printf '%-28s %9s %9s %12s\n' "(u) one page onto 96 MB" "time s" "RSS MB" "/ cp"
for mode in inc-inplace inc-output full-inplace full-output cp; do
  awk -v l="$mode" -v t="$(median "runs/u.$mode.times")" -v r="$(maximum "runs/u.$mode.rss")" \
      -v c="$(median runs/u.cp.times)" \
    'BEGIN { printf "%-28s %9.3f %9.1f %12.2f\n", l, t, r / 1024, t / c }'
done
echo
printf '%-28s %9s %9s %8s %8s %10s %10s %9s\n' "(f) 100 inputs of 1 MB" "input MB" "korvel s" "cat s" "qpdf s" "pdfunite s" "korvel/cat" "RSS MB"
awk -v s="$(cat f???.pdf | wc -c)" -v k="$fk" -v c="$fc" -v q="$fq" -v u="$fu" -v r="$(maximum runs/f.korvel.rss)" \
  'BEGIN { printf "%-28s %9.1f %9.3f %8.3f %8.3f %10.3f %10.2f %9.1f\n", "2,000 pages", s / 1048576, k, c, q, u, k / c, r / 1024 }'
echo
printf '%-28s %9s %9s %8s %8s %10s %11s %9s\n' "(m) 20,000 inputs, a list" "input MB" "korvel s" "cat s" "qpdf s" "korvel/cat" "qpdf/korvel" "RSS MB"
awk -v s="$(xargs -d "\n" -a m.list cat | wc -c)" -v k="$mk" -v c="$mc" -v q="$mq" -v r="$(maximum runs/m.korvel.rss)" \
  'BEGIN { printf "%-28s %9.1f %9.3f %8.3f %8.3f %10.2f %11.1f %9.1f\n", "20,000 pages", s / 1048576, k, c, q, k / c, q / k, r / 1024 }'
