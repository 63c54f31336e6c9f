#!/bin/sh
# Renders the example spectra with the plot commands: PNGs of the expected
# size, and text renderings that show the axes and the legend.
set -eu
bin=$1     # build folder with normspec and pointmean
plot=$2    # folder of the plot commands
examples=$3
command -v gnuplot >/dev/null 2>&1 || { echo "no gnuplot: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples"/* "$work/"
cd "$work"
"$bin/normspec/normspec" semiconductor.dat >/dev/null
printf '3\n' | "$bin/normspec/normspec" -l -s >/dev/null
printf '3 250' | "$bin/pointmean/pointmean" >/dev/null || [ $? -eq 1 ]

# width and height from a PNG's header
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }

[ "$("$plot/normspec-plot" semiconductor.dat stxt2)" = "semiconductor.dat.png
stxt2.png" ]
[ "$(png_size semiconductor.dat.png)" = "1000x800" ] || { echo "size $(png_size semiconductor.dat.png)"; exit 1; }
[ "$(png_size stxt2.png)" = "1000x800" ]
[ "$("$plot/pointmean-plot")" = "pointmean.png" ]
[ "$(png_size pointmean.png)" = "900x500" ]

text=$("$plot/normspec-plot" --text semiconductor.dat)
# (the text terminal leaves out the rotated left-axis labels)
for word in "Bias (V)" "I (nA)" "dI/dV" "raw" "exp" "coff" "semiconductor.dat"; do
    echo "$text" | grep -qF "$word" || { echo "text rendering lacks '$word'"; echo "$text"; exit 1; }
done
text=$("$plot/pointmean-plot" --text pointmean.txt)
for word in "Bias (V)" "mean +-2 error" "standard errors"; do
    echo "$text" | grep -qF "$word" || { echo "text rendering lacks '$word'"; exit 1; }
done
# -s leaves no dI/dV or current files: said on the plot, not an error
"$plot/normspec-plot" --text stxt1 | grep -qF "no dI/dV or I files"
# no result files at all: an error naming the base
if "$plot/normspec-plot" nothing 2>err.txt; then exit 1; fi
grep -qF "no result files for nothing" err.txt
echo "plots ok"
