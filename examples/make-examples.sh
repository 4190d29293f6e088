#!/bin/sh
# Makes the two example documents of `make demo` from the PostScript programs
# below: report.pdf (3 pages, nested bookmarks) and invoice.pdf (2 pages,
# bookmarks). Ghostscript's pdfwrite turns the pdfmark operators into the
# outline. Dates and IDs are left out so that a rerun gives the same bytes.
#
#   examples/make-examples.sh [output-directory]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v gs >/dev/null || { echo "make-examples.sh needs ghostscript (apt-get install ghostscript)"; exit 1; }

cat >"$work/common.ps" <<'EOF'
%!PS-Adobe-3.0
% Small drawing helpers shared by both documents.
/F { findfont exch scalefont setfont } bind def
/T { moveto show } bind def                       % (text) x y T
/Rule { newpath moveto 0 rlineto 0.5 setlinewidth stroke } bind def  % width x y Rule
/RT { 3 1 roll exch dup stringwidth pop 3 -1 roll exch sub 3 -1 roll moveto show } bind def % (text) right-x y RT
<< /PageSize [420 595] >> setpagedevice
EOF

cat >"$work/report.ps" <<'EOF'
[ /Title (Quarterly Report) /Author (Korvel examples) /Subject (Example document) /DOCINFO pdfmark
[ /Title (1 Summary) /Count 2 /Page 1 /View [/XYZ 0 595 null] /OUT pdfmark
[ /Title (1.1 Highlights) /Page 1 /View [/XYZ 0 420 null] /OUT pdfmark
[ /Title (1.2 Outlook) /Page 1 /View [/XYZ 0 250 null] /OUT pdfmark
[ /Title (2 Figures) /Count 1 /Page 2 /View [/XYZ 0 595 null] /OUT pdfmark
[ /Title (2.1 Orders by month) /Page 2 /View [/XYZ 0 500 null] /OUT pdfmark
[ /Title (3 Tables) /Page 3 /View [/XYZ 0 595 null] /OUT pdfmark
[ /PageMode /UseOutlines /DOCVIEW pdfmark

% Page 1
20 /Helvetica-Bold F (Quarterly Report) 40 530 T
10 /Helvetica F (Example document for Korvel) 40 512 T
340 40 500 Rule
14 /Helvetica-Bold F (1 Summary) 40 470 T
12 /Helvetica-Bold F (1.1 Highlights) 40 420 T
10 /Times-Roman F
(Orders grew in each month of the quarter.) 50 400 T
(Returns stayed below two percent.) 50 386 T
(The new warehouse opened on time.) 50 372 T
12 /Helvetica-Bold F (1.2 Outlook) 40 250 T
10 /Times-Roman F
(The next quarter should continue the trend.) 50 230 T
9 /Helvetica F (page 1 of 3) 380 30 RT
showpage

% Page 2: a bar chart
14 /Helvetica-Bold F (2 Figures) 40 540 T
12 /Helvetica-Bold F (2.1 Orders by month) 40 500 T
gsave
  60 200 translate
  0 0 moveto 300 0 lineto 0.8 setlinewidth stroke
  0 0 moveto 0 250 lineto stroke
  [ [(Jan) 120 0.3] [(Feb) 170 0.5] [(Mar) 230 0.7] ] {
    aload pop setgray /h exch def /label exch def
    /x x0 def
    x 0 60 h rectfill
    0 setgray 9 /Helvetica F label x 20 add -14 T
    /x0 x0 90 add def
  } bind
  /x0 30 def
  forall
grestore
9 /Helvetica F (page 2 of 3) 380 30 RT
showpage

% Page 3: a table
14 /Helvetica-Bold F (3 Tables) 40 540 T
10 /Helvetica-Bold F (Region) 50 500 T (Orders) 250 500 RT (Share) 340 500 RT
300 45 494 Rule
10 /Times-Roman F
/y 478 def
[ [(North) (1,204) (31%)] [(East) (987) (25%)] [(South) (1,115) (29%)] [(West) (583) (15%)] ] {
  aload pop /s exch def /o exch def /r exch def
  r 50 y T o 250 y RT s 340 y RT
  /y y 16 sub def
} forall
300 45 y 10 add Rule
9 /Helvetica F (page 3 of 3) 380 30 RT
showpage
EOF

cat >"$work/invoice.ps" <<'EOF'
[ /Title (Invoice 2024-117) /Author (Korvel examples) /Subject (Example document) /DOCINFO pdfmark
[ /Title (Invoice 2024-117) /Count 2 /Page 1 /View [/XYZ 0 595 null] /OUT pdfmark
[ /Title (Items) /Page 1 /View [/XYZ 0 430 null] /OUT pdfmark
[ /Title (Total) /Page 1 /View [/XYZ 0 260 null] /OUT pdfmark
[ /Title (Terms and conditions) /Page 2 /View [/XYZ 0 595 null] /OUT pdfmark

% Page 1
20 /Helvetica-Bold F (Invoice 2024-117) 40 530 T
10 /Helvetica F (Example Supplies Ltd., 1 Sample Street) 40 510 T
(To: Example Customer) 40 470 T
(Date: 2024-05-31) 40 456 T
10 /Helvetica-Bold F (Item) 50 420 T (Qty) 250 420 RT (Amount) 360 420 RT
310 45 414 Rule
10 /Times-Roman F
/y 398 def
[ [(Paper, A4, 500 sheets) (10) (45.00)] [(Toner cartridge) (2) (118.00)] [(Binder clips) (50) (7.50)] ] {
  aload pop /a exch def /q exch def /i exch def
  i 50 y T q 250 y RT a 360 y RT
  /y y 16 sub def
} forall
310 45 y 10 add Rule
10 /Helvetica-Bold F (Total) 50 260 T (170.50) 360 260 RT
9 /Helvetica F (page 1 of 2) 380 30 RT
showpage

% Page 2
14 /Helvetica-Bold F (Terms and conditions) 40 540 T
10 /Times-Roman F
(Payment is due within 30 days of the invoice date.) 40 510 T
(Goods remain our property until paid in full.) 40 496 T
(This invoice is an example made for Korvel's demo.) 40 482 T
9 /Helvetica F (page 2 of 2) 380 30 RT
showpage
EOF

for name in report invoice; do
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite \
     -dOmitInfoDate -dOmitID -dOmitXMP -dCompatibilityLevel=1.4 \
     -o "$out/$name.pdf" "$work/common.ps" "$work/$name.ps"
  echo "$out/$name.pdf: $(wc -c <"$out/$name.pdf") bytes"
done
