#!/usr/bin/env bash
# Plants each mutant of scripts/mutants.txt, one at a time, in a scratch copy
# of the working tree, rebuilds the tests and runs the accuracy table alone.
# A mutant the table does not fail has survived. Prints one line per mutant
# and exits 1 when any survived or could not be planted.
#
# Usage: scripts/mutants.sh [SCRATCH_DIR]   (default /tmp/tavlin-mutants)
# MUTANT_JOBS sets the build's parallel jobs (default 2); MUTANT_ONLY="3 7"
# plants only those mutants (by their number in the list).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
scratch=${1:-/tmp/tavlin-mutants}
jobs=${MUTANT_JOBS:-2}
list="$repo/scripts/mutants.txt"
src="$scratch/src"
build="$scratch/build"
log="$scratch/log"

mkdir -p "$src" "$build" "$log"
# The scratch copy follows the working tree, uncommitted changes included.
# Only files that differ are copied, so they (and whatever a mutant of the
# last run left built) are newer than what was built from them.
(cd "$repo" && git ls-files -z --cached --others --exclude-standard) |
    while IFS= read -r -d '' path; do
        if [[ -f $repo/$path ]] && ! cmp -s "$repo/$path" "$src/$path"; then
            mkdir -p "$(dirname "$src/$path")"
            cp "$repo/$path" "$src/$path"
        fi
    done
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVLIN_BUILD_BENCH=OFF \
    "${launcher[@]}" >"$log/configure.txt"

build_and_run() {  # $1: log name; 0 when the table passes, 1 when it fails, 2 when it does not build
    if ! ninja -C "$build" -j"$jobs" tavlin_tests >"$log/$1.build.txt" 2>&1; then
        return 2
    fi
    if "$build/tavlin_tests" --gtest_filter='AccuracyTable*' >"$log/$1.run.txt" 2>&1; then
        return 0
    fi
    return 1
}

# Replaces every from/to pair of a mutant in its file; fails unless each
# "from" stands exactly once.
plant() {  # $1: file, then pairs from to ...
    local file=$1
    shift
    while (($# >= 2)); do
        FROM=$1 TO=$2 perl -0777 -i -pe '
            my $n = () = /\Q$ENV{FROM}\E/g;
            die "found $n times\n" unless $n == 1;
            s/\Q$ENV{FROM}\E/$ENV{TO}/;' "$file" || return 1
        shift 2
    done
}

status=0
build_and_run unmutated || {
    echo "The accuracy table fails without a mutant: see $log/unmutated.*.txt"
    exit 1
}

run_mutant() {  # $1: number, $2: name, $3: file, then pairs
    local number=$1 name=$2 file=$3
    shift 3
    cp "$src/$file" "$scratch/original"
    local verdict
    if ! plant "$src/$file" "$@" 2>"$log/$number.plant.txt"; then
        verdict="NOT PLANTED ($(cat "$log/$number.plant.txt"))"
        status=1
    else
        local result=0
        build_and_run "$number" || result=$?
        case $result in
            0) verdict="SURVIVED"; status=1 ;;
            1) verdict="killed ($(grep -c 'Failure' "$log/$number.run.txt") failures)" ;;
            *) verdict="DOES NOT BUILD"; status=1 ;;
        esac
    fi
    cp "$scratch/original" "$src/$file"
    printf '%2d  %-76s %s\n' "$number" "$name" "$verdict"
}

number=0 name="" file="" pairs=()
flush() {
    if [[ -n $name ]]; then
        number=$((number + 1))
        if [[ -z ${MUTANT_ONLY:-} || " $MUTANT_ONLY " == *" $number "* ]]; then
            run_mutant "$number" "$name" "$file" "${pairs[@]}"
        fi
    fi
    name="" file="" pairs=()
}
while IFS= read -r line || [[ -n $line ]]; do
    case $line in
        "#"*) ;;
        "") flush ;;
        "name: "*) name=${line#name: } ;;
        "file: "*) file=${line#file: } ;;
        "from: "* | "to: "*) pairs+=("${line#*: }") ;;
        *) echo "mutants.txt: cannot read: $line"; exit 1 ;;
    esac
done <"$list"
flush
if ((status == 0)); then
    echo "All $number mutants were killed by the accuracy table."
else
    echo "Some mutants survived or could not be run; logs in $log."
fi
exit $status
