#!/usr/bin/env bash
# Fails when a program's man page, or its bash completion, misses an option that the
# program's --help names, or names a long option that --help does not:
#   check-option-docs.sh PROGRAM MAN_PAGE [COMPLETION]
# Runs the program with --help only.
set -euo pipefail

program="$1"
man_page="$2"
completion="${3:-}"

# The options a text names: "-x" or "--name" after a blank, a bracket or the line start.
options_in() {
    grep -oE '(^|[][ ,(|"])--?[a-zA-Z][a-zA-Z-]*' | sed -E 's/^[^-]+//' | sort -u
}
long_only() {
    grep -E '^--' || true
}

help_options="$("$program" --help | options_in)"
if [ -z "$help_options" ]; then
    echo "$program --help names no options" >&2
    exit 1
fi

failed=0
compare() { # NAME OPTIONS
    local name="$1" documented="$2" missing extra
    missing="$(comm -23 <(echo "$help_options") <(echo "$documented"))"
    extra="$(comm -13 <(echo "$help_options" | long_only) <(echo "$documented" | long_only))"
    if [ -n "$missing" ]; then
        echo "$name does not name: $(echo $missing)" >&2
        failed=1
    fi
    if [ -n "$extra" ]; then
        echo "$name names options that --help does not: $(echo $extra)" >&2
        failed=1
    fi
}

# Roff writes a dash as \-.
compare "$man_page" "$(sed 's/\\-/-/g' "$man_page" | options_in)"
if [ -n "$completion" ]; then
    compare "$completion" "$(options_in <"$completion")"
fi
if [ "$failed" -eq 0 ]; then
    echo "$(basename "$program"): $(echo "$help_options" | wc -l) options, all documented"
fi
exit "$failed"
