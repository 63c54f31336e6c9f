#!/bin/sh
# The manual pages format without a single warning and name the release
# that project(VERSION) gives.
set -eu
dir=$1
version=$2
command -v groff >/dev/null 2>&1 || { echo "no groff: skipped"; exit 77; }
for page in "$dir"/*.1; do
    warnings=$(groff -ww -z -man "$page" 2>&1)
    [ -z "$warnings" ] || { echo "$page:"; echo "$warnings"; exit 1; }
    if command -v man >/dev/null 2>&1; then
        warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || { echo "$page:"; echo "$warnings"; exit 1; }
    fi
    grep -q "^\.TH .* \"normspec $version\" " "$page" ||
        { echo "$page: the .TH line does not name release $version"; exit 1; }
    echo "$(basename "$page") ok"
done
