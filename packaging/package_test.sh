#!/bin/sh
# Builds the Debian package, lists it, unpacks it into a scratch root and
# runs the unpacked normspec on the unpacked example spectra.
set -eu
build=$1
version=$2   # project(VERSION) of the top CMakeLists.txt
command -v dpkg-deb >/dev/null 2>&1 || {
    echo "missing Debian package dpkg-dev: install the tests' packages" \
         "with 'bash scripts/deps tests'"
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" >"$work/contents"
for path in ./usr/bin/normspec ./usr/bin/pointmean ./usr/bin/stsimport ./usr/bin/stsgrid \
            ./usr/share/man/man1/stsimport.1 ./usr/share/man/man1/stsgrid.1 ./usr/bin/normspec-plot \
            ./usr/bin/stsview ./usr/share/man/man1/stsview.1 ./usr/share/stsview/web/index.html \
            ./usr/share/stsview/web/uPlot.esm.js ./usr/bin/pointmean-plot \
            ./usr/share/man/man1/normspec.1 ./usr/share/man/man1/pointmean.1 \
            ./usr/share/doc/normspec/examples/metal.dat ./usr/share/doc/normspec/README.md \
            ./usr/share/doc/normspec/copyright ./usr/share/doc/normspec/LICENSE; do
    grep -q " $path\$" "$work/contents" || { echo "missing from the package: $path"; cat "$work/contents"; exit 1; }
done

dpkg-deb -f "$deb" Package Version Architecture Depends Recommends Section >"$work/fields"
cat "$work/fields"
grep -q '^Package: normspec$' "$work/fields"
grep -q "^Version: $version.0\$" "$work/fields"
grep -q '^Depends: .*libc6' "$work/fields"
grep -q '^Depends: .*libstdc++6' "$work/fields"
grep -q '^Recommends: gnuplot-nox' "$work/fields"

dpkg -x "$deb" "$work/root"
# the licence is the project's, in Debian's place and beside the README
licence="$(dirname "$0")/../LICENSE"
cmp "$licence" "$work/root/usr/share/doc/normspec/copyright"
cmp "$licence" "$work/root/usr/share/doc/normspec/LICENSE"
grep -q "^Copyright (c) 2026 the normspec authors$" "$work/root/usr/share/doc/normspec/copyright"
mkdir "$work/run"
cp "$work/root/usr/share/doc/normspec/examples/"* "$work/run/"
cd "$work/run"
"$work/root/usr/bin/normspec" metal.dat semiconductor.dat >out.txt
grep -q "metal.dat: 400 data points read ..done" out.txt
grep -q "semiconductor.dat: 400 data points read ..done" out.txt
[ -s metal.datraw.txt ] && [ -s semiconductor.datexp.txt ]
echo 3 250 | "$work/root/usr/bin/pointmean" >pm.txt || [ $? -eq 1 ]
[ "$(wc -l <pointmean.txt)" -eq 250 ]
# stsgrid from the package on a line of the example spectra.
"$work/root/usr/bin/stsgrid" -o line.nc metal.dat semiconductor.dat >grid.txt
grep -q "wrote line.nc: 2 x 1 pixels, 400 points" grid.txt
# stsview from the package finds its page in the package's share folder.
"$work/root/usr/bin/stsview" line.nc >url.txt 2>/dev/null &
viewer=$!
for _ in $(seq 50); do [ -s url.txt ] && break; sleep 0.1; done
kill -TERM "$viewer"
wait "$viewer"
grep -q '^http://127.0.0.1:[0-9]*/?token=[0-9a-f]\{64\}$' url.txt
# stskit from the package: Debian's python3 opens a spectrum through its
# engine, found by the entry point beside the package, and computes it.
site=$(ls -d "$work"/root/usr/lib/python3*/dist-packages 2>/dev/null | head -n 1)
if [ -n "$site" ] && [ -d "$site/stskit" ]; then
    PYTHONPATH="$site" /usr/bin/python3 -c "
import xarray as xr
ds = xr.open_dataset('metal.dat', engine='stskit')
import stskit
print(int(stskit.compute(ds)['status'].values.max()))" >py.txt
    [ "$(cat py.txt)" = 0 ]
fi
echo "unpacked package works"
