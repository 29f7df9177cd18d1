#!/usr/bin/env bash
# Checks that a program's --help and its manual page name the same options:
# every option --help prints, and every one the page's SYNOPSIS, OPTIONS and
# COMMANDS sections name. Prints each option only one of them has.
#
#   tests/package/man_options.sh PROGRAM PAGE     PAGE: the roff source, plain or gzip
set -euo pipefail
program=$1
page=$2

# The options a text names: one or two dashes and a letter, at the start of a
# word or after a bracket, comma or bar.
options() {
  grep -oE '(^|[][ ,|(])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[][ ,|(]//' | sort -u
}

help=$("$program" --help | options)
# The page's text in those sections, with roff's minus signs and font changes
# read as plain text.
manual=$(zcat -f "$page" |
         awk '/^\.SH/ { keep = ($2 == "SYNOPSIS" || $2 == "OPTIONS" || $2 == "COMMANDS"); next }
              keep' |
         sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/^\.[A-Z]+ //' | options)
[ -n "$help" ] || { echo "$program --help names no option" >&2; exit 1; }
only_help=$(comm -23 <(echo "$help") <(echo "$manual"))
only_manual=$(comm -13 <(echo "$help") <(echo "$manual"))
[ -z "$only_help" ] || echo "${program##*/}: --help has, ${page##*/} lacks:" $only_help >&2
[ -z "$only_manual" ] || echo "${page##*/} has, ${program##*/} --help lacks:" $only_manual >&2
[ -z "$only_help$only_manual" ]
