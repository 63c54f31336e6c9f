#!/bin/sh
# Renders the example spectra with the plot commands: PNGs of the expected
# size, and text renderings that show the axes and the legend.  Then the
# cases a first user meets: names with underscores, an mV sweep, curves of
# nan only, a failing gnuplot, and a series of normalised curves averaged.
set -eu
bin=$1     # build folder with normspec and pointmean
plot=$2    # folder of the plot commands
examples=$3
command -v gnuplot >/dev/null 2>&1 || {
    echo "missing Debian package gnuplot-nox: install the tests' packages" \
         "with 'bash scripts/deps tests'"
    exit 1
}
real_gnuplot=$(command -v gnuplot)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples"/* "$work/"
cd "$work"
"$bin/normspec/normspec" semiconductor.dat >/dev/null
printf '3\n' | "$bin/normspec/normspec" -l -s >/dev/null
printf '3 250' | "$bin/pointmean/pointmean" >/dev/null || [ $? -eq 1 ]

fail() { echo "$*"; exit 1; }
# width and height from a PNG's header
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
# the text rendering holds every word given
holds() {
    rendering=$1; shift
    for word in "$@"; do
        printf '%s\n' "$rendering" | grep -qF -- "$word" || {
            echo "text rendering lacks '$word'"; printf '%s\n' "$rendering"; exit 1; }
    done
}

[ "$("$plot/normspec-plot" semiconductor.dat stxt2)" = "semiconductor.dat.png
stxt2.png" ]
[ "$(png_size semiconductor.dat.png)" = "1000x800" ] || fail "size $(png_size semiconductor.dat.png)"
[ "$(png_size stxt2.png)" = "1000x800" ]
[ "$("$plot/pointmean-plot")" = "pointmean.png" ]
[ "$(png_size pointmean.png)" = "900x500" ]
# the PNGs get the mode of any new file, not mktemp's 0600
[ "$(stat -c %a semiconductor.dat.png)" = "$(printf '%o' $(( 0666 & ~0$(umask) )))" ]

text=$("$plot/normspec-plot" --text semiconductor.dat)
# (the text terminal leaves out the rotated left-axis labels)
holds "$text" "Bias (V)" "I (nA)" "dI/dV" "raw" "coff" "semiconductor.dat"
# exp on a panel of its own: three bias axes, and its legend says why
holds "$text" "exp (weights not normalised: own scale)"
[ "$(printf '%s\n' "$text" | grep -c 'Bias (V)')" -eq 3 ] || fail "not three panels: $text"
# every legend stands off the plot frames (a legend inside has a border beside it)
printf '%s\n' "$text" | grep -E 'dI/dV \*|raw \*|exp \(' | grep -q '|' && fail "legend on the data: $text"
text=$("$plot/pointmean-plot" --text pointmean.txt)
holds "$text" "Bias (V)" "mean +-2 error" "standard errors: I (nA)"
# -s leaves no dI/dV or current files: said on the plot, not an error
"$plot/normspec-plot" --text stxt1 | grep -qF "no dI/dV or I files"
# no result files at all: an error naming the base
if "$plot/normspec-plot" nothing 2>err.txt; then exit 1; fi
grep -qF "no result files for nothing" err.txt

# Underscores stay literal: gnuplot's enhanced text would make "_1" a
# subscript.  A logging gnuplot keeps the script, which is then drawn on an
# enhanced text terminal.
mkdir logged
cat >logged/gnuplot <<EOF
#!/bin/sh
[ \$# -eq 0 ] || exec "$real_gnuplot" "\$@"
tee "$work/script.gp" | "$real_gnuplot"
EOF
chmod +x logged/gnuplot
cp semiconductor.dat run_1.dat
"$bin/normspec/normspec" run_1.dat >/dev/null
PATH="$work/logged:$PATH" "$plot/normspec-plot" run_1.dat >/dev/null
sed -e 's/^set terminal .*/set terminal dumb enhanced size 100,50/' -e '/^set output/d' script.gp |
    "$real_gnuplot" | grep -qF "run_1.dat" || fail "underscore lost in the title: $(cat script.gp)"

# A sweep within +-0.1 V is drawn in mV.
awk '{ print $1 / 50, $2 }' semiconductor.dat >narrow_sweep.dat
"$bin/normspec/normspec" narrow_sweep.dat >/dev/null
text=$("$plot/normspec-plot" --text narrow_sweep.dat)
holds "$text" "Bias (mV)" "-30" "narrow_sweep.dat"
printf '%s\n' "$text" | grep -qF "Bias (V)" && fail "volt axis left on an mV sweep"
"$plot/normspec-plot" --text semiconductor.dat | grep -qF "Bias (mV)" && fail "mV axis on a 2 V sweep"

# Curves of nan/inf only are left out with a note; nothing at all to draw
# is an error, and no PNG is made.
for suffix in didv i exp coff; do cp "semiconductor.dat$suffix.txt" "holey$suffix.txt"; done
awk '{ print $1, "-nan" }' semiconductor.datraw.txt >holeyraw.txt
"$plot/normspec-plot" holey >/dev/null 2>err.txt
grep -qF "holeyraw.txt holds only nan/inf: left out" err.txt
[ -s holey.png ]
for suffix in didv i raw; do awk '{ print $1, "nan" }' "semiconductor.dat$suffix.txt" >"undefined$suffix.txt"; done
if "$plot/normspec-plot" undefined 2>err.txt; then fail "drew a plot of nan"; fi
grep -qF "nothing to draw for undefined: its result files hold only nan/inf" err.txt
[ ! -e undefined.png ]
printf '0.1 nan nan nan nan\n0.2 -nan -nan -nan -nan\n' >undefined-mean.txt
if "$plot/pointmean-plot" undefined-mean.txt 2>err.txt; then fail "drew a mean of nan"; fi
grep -qF "undefined-mean.txt holds no finite means (nan/inf only): nothing to draw" err.txt
[ ! -e undefined-mean.png ]

# A gnuplot that fails after starting its output: a message with gnuplot's
# reason, no PNG and no temporary file left, an earlier PNG kept as it was.
mkdir failing
cat >failing/gnuplot <<'EOF'
#!/bin/sh
[ $# -eq 0 ] || { echo "pngcairo"; exit 0; }
out=$(sed -n "s/^set output '\(.*\)'$/\1/p")
[ -z "$out" ] || printf 'half' >"$out"
printf '\n         line 0: cannot draw this\n\n' >&2
exit 1
EOF
chmod +x failing/gnuplot
cp semiconductor.dat.png earlier.png
if PATH="$work/failing:$PATH" "$plot/normspec-plot" semiconductor.dat stxt2 >out.txt 2>err.txt; then
    fail "a failing gnuplot reported as success"
fi
grep -qF "normspec-plot: gnuplot failed for semiconductor.dat (cannot draw this); no PNG written" err.txt ||
    fail "$(cat err.txt)"
grep -qF "gnuplot failed for stxt2" err.txt
[ ! -s out.txt ]
cmp -s semiconductor.dat.png earlier.png || fail "the earlier PNG was changed"
rm stxt2.png pointmean.png
if PATH="$work/failing:$PATH" "$plot/normspec-plot" stxt2 2>/dev/null; then exit 1; fi
if PATH="$work/failing:$PATH" "$plot/pointmean-plot" 2>err.txt; then exit 1; fi
grep -qF "pointmean-plot: gnuplot failed for pointmean.txt (cannot draw this); no PNG written" err.txt
[ ! -e stxt2.png ] && [ ! -e pointmean.png ]
leftovers=$(ls | grep '\.png\.' || true)
[ -z "$leftovers" ] || fail "temporary files left: $leftovers"

# The mean of normalised curves, as the README does it: pointmean reads
# stxt<k>p.txt, here links in a folder of their own to normspec's raw curves
# of an mV series; the plot names the quantity.  Copies beside the curves
# are recognised too.
mkdir series
cd series
for k in 1 2 3; do awk '{ print $1 / 50, $2 }' "../s$k" >"s$k"; done
echo 3 | "$bin/normspec/normspec" -l -s -n -c >/dev/null
mkdir raw-mean
cd raw-mean
for k in 1 2 3; do ln -s "../stxt${k}raw.txt" "stxt${k}p.txt"; done
echo 3 "$(wc -l <../stxt1raw.txt)" | "$bin/pointmean/pointmean" >/dev/null || [ $? -eq 1 ]
holds "$("$plot/pointmean-plot" --text)" "standard errors: (dI/dV)/(I/V), raw" "Bias (mV)"
holds "$("$plot/pointmean-plot" --text --ylabel 'G (arb. units)')" "standard errors: G (arb. units)"
[ "$("$plot/pointmean-plot" pointmean.txt)" = "pointmean.png" ]
cd ..
for k in 1 2 3; do cp "stxt${k}coff.txt" "stxt${k}p.txt"; done
echo 3 "$(wc -l <stxt1coff.txt)" | "$bin/pointmean/pointmean" >/dev/null || [ $? -eq 1 ]
holds "$("$plot/pointmean-plot" --text)" "standard errors: (dI/dV)/(I/V), coff"
echo "plots ok"
