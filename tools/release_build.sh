#!/bin/sh
# Release build, profile-guided when it can be: an instrumented tavik-tool
# is built in <build>/pgo-train and runs a short bench, then the real build
# compiles with the profiles it wrote. Whatever fails on the way, the result
# is still an optimised build, only without profiles.
#
# usage: tools/release_build.sh <build folder> <jobs> [cmake arguments...]
# PGO=0 in the environment skips the profile; PGO_DEPTH sets the bench depth.
set -u
build=$1
jobs=$2
shift 2
train=$build/pgo-train
data=$(realpath -m "$build/pgo-data")
mode=off

if [ "${PGO:-1}" = 1 ]; then
    if cmake -S . -B "$train" -DCMAKE_BUILD_TYPE=Release -DTAVIK_PGO=generate -DTAVIK_PGO_DIR="$data" "$@" \
            >/dev/null && cmake --build "$train" -j "$jobs" --target tavik-tool >/dev/null; then
        if [ -f "$data/profile.stamp" ] && [ ! "$train/tavik-tool" -nt "$data/profile.stamp" ]; then
            mode=use
        else
            rm -rf "$data"
            mkdir -p "$data"
            echo "release_build: training run (tavik-tool bench ${PGO_DEPTH:-6})"
            if timeout 300 "$train/tavik-tool" bench "${PGO_DEPTH:-6}" >/dev/null; then
                touch "$data/profile.stamp"
                mode=use
            else
                echo "release_build: the training run failed; building without profiles" >&2
                rm -rf "$data"
            fi
        fi
    else
        echo "release_build: no instrumented build; building without profiles" >&2
    fi
fi

final() {
    pgo=$1
    shift
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVIK_PGO="$pgo" -DTAVIK_PGO_DIR="$data" "$@" >/dev/null &&
        cmake --build "$build" -j "$jobs"
}
if ! final "$mode" "$@"; then
    [ "$mode" = use ] || exit 1
    echo "release_build: the build with profiles failed; building without" >&2
    rm -rf "$data"
    final off "$@"
fi
