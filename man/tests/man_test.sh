#!/bin/sh
# The manual pages format without a single warning and name the release
# that project(VERSION) gives.
set -eu
dir=$1
version=$2
need="install the tests' packages with 'bash scripts/deps tests'"
command -v groff >/dev/null 2>&1 || { echo "missing Debian package groff-base: $need"; exit 1; }
command -v man >/dev/null 2>&1 || { echo "missing Debian package man-db: $need"; exit 1; }
for page in "$dir"/*.1; do
    warnings=$(groff -ww -z -man "$page" 2>&1)
    [ -z "$warnings" ] || { echo "$page:"; echo "$warnings"; exit 1; }
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page:"; echo "$warnings"; exit 1; }
    grep -q "^\.TH .* \"normspec $version\" " "$page" ||
        { echo "$page: the .TH line does not name release $version"; exit 1; }
    echo "$(basename "$page") ok"
done
