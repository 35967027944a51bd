#!/usr/bin/env bash
# Runs the program on one scenario folder and compares every byte it produced.
#   run_case.sh PROGRAM CASE
# CASE/answers       standard input of the run
# CASE/files/        copied into a fresh working folder first (series files, ...)
# CASE/expected/stdout, stderr, status
#                    the console transcript, the error output (@DIR@ stands for the
#                    working folder) and the exit status
# CASE/expected/files/NAME
#                    every file NAME the run must leave in the working folder
set -u
prog=$1
case_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -d "$case_dir/files" ]; then cp -a "$case_dir/files/." "$work/"; fi
(cd "$work" && "$prog" <"$case_dir/answers" >"$work/.stdout" 2>"$work/.stderr"; echo $? >"$work/.status")

fail=0
compare() {  # expected actual label
    if ! cmp -s "$1" "$2"; then
        echo "MISMATCH in $3:"
        diff <(od -c "$1") <(od -c "$2") | head -40
        fail=1
    fi
}
compare "$case_dir/expected/stdout" "$work/.stdout" stdout
sed "s|@DIR@|$work|g" "$case_dir/expected/stderr" >"$work/.stderr.expected"
compare "$work/.stderr.expected" "$work/.stderr" stderr
compare "$case_dir/expected/status" "$work/.status" status
if [ -d "$case_dir/expected/files" ]; then
    for f in "$case_dir/expected/files/"*; do
        name=$(basename "$f")
        if [ -e "$work/$name" ]; then
            compare "$f" "$work/$name" "file $name"
        else
            echo "MISSING file $name"
            fail=1
        fi
    done
fi
exit $fail
