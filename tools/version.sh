#!/bin/sh
# The release version, from one place: the nearest git tag (a leading "v"
# dropped), or the fallback below outside a tagged clone.
fallback=5.60
cd "$(dirname "$0")/.." || exit 1
tag=$(git describe --tags 2>/dev/null) && { echo "${tag#v}"; exit 0; }
echo "$fallback"
