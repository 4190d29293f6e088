#!/bin/sh
# Makes sure what a build needs is installed. "run" needs the build tools;
# "test" also needs GoogleTest and the PDF tools the end-to-end tests judge
# with. As root, missing Debian packages are installed with apt-get;
# otherwise the exact command to run is printed.
set -eu
what=${1:-test}
packages="cmake g++ make pkg-config zlib1g-dev nettle-dev libxxhash-dev qpdf"
if [ "$what" = test ]; then
  packages="$packages libgtest-dev poppler-utils ghostscript python3 groff-base pdftk-java libnss3-tools mupdf-tools"
fi
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends $missing >/dev/null 2>&1 || {
    apt-get update >/dev/null 2>&1
    apt-get install -y --no-install-recommends $missing
  }
else
  echo "Missing packages:$missing"
  echo "Install them with: sudo apt-get install$missing"
  exit 1
fi
