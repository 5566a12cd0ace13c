#!/usr/bin/env bash
# Reads a program's symbol table against the libraries it links and fails
#  - where the program defines a symbol that only the other program's
#    renderer libraries define (the other renderer's insides), and
#  - where a symbol the program defines is defined, not weakly, in two of
#    the libraries it links (the program then holds whichever came first).
# Usage: check_renderer_symbols.sh <program> <own renderer libs> <other renderer libs> <linked libs>
# (each list one argument, paths separated by ';' or spaces).
set -uo pipefail
program="${1:?usage: check_renderer_symbols.sh <program> <own> <other> <linked>}"
own="${2-}"
other="${3-}"
linked="${4-}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# strong <file>...: "<symbol> <file>" for every global symbol defined, not
# weakly, in each file (mangled names: they hold no spaces).
strong() {
  local f
  for f in "$@"; do
    nm -g --defined-only -P "$f" 2> /dev/null | awk -v f="$(basename "$f")" \
      'NF >= 2 && $1 !~ /[:\]]$/ && $2 ~ /^[TDBRGS]$/ { print $1, f }'
  done | sort -u
}

# defined <file>...: every global symbol defined in the files, weak ones too
# (a class's inline members are its own program's even where only weak).
defined() {
  local f
  for f in "$@"; do
    nm -g --defined-only -P "$f" 2> /dev/null | awk 'NF >= 2 && $1 !~ /[:\]]$/ && $2 ~ /^[TDBRGSWV]$/ { print $1 }'
  done | sort -u
}

split() { tr ';' ' ' <<< "$1"; }

nm -g --defined-only -P "$program" | awk 'NF >= 2 && $2 ~ /^[TDBRGSWV]$/ { print $1 }' | sort -u > "$tmp/program"
# shellcheck disable=SC2046
defined $(split "$own") > "$tmp/own"
# shellcheck disable=SC2046
strong $(split "$other") | cut -d' ' -f1 | sort -u > "$tmp/other"
# shellcheck disable=SC2046
strong $(split "$linked") > "$tmp/linked"

faults=0
comm -23 "$tmp/other" "$tmp/own" | comm -12 - "$tmp/program" > "$tmp/insides"
while IFS= read -r sym; do
  echo "$(basename "$program") holds the other renderer's $(c++filt <<< "$sym")"
  faults=$((faults + 1))
done < "$tmp/insides"

awk '{ n[$1]++; libs[$1] = libs[$1] " " $2 } END { for (s in n) if (n[s] > 1) print s, libs[s] }' "$tmp/linked" |
  sort > "$tmp/twice"
while read -r sym libs; do
  if grep -qxF "$sym" "$tmp/program"; then
    echo "$(basename "$program"): $(c++filt <<< "$sym") is defined in $libs"
    faults=$((faults + 1))
  fi
done < "$tmp/twice"

if [[ ! -s $tmp/program ]]; then
  echo "$(basename "$program"): no symbols read"
  exit 1
fi
if (( faults > 0 )); then
  echo "renderer symbols: $faults fault(s) in $(basename "$program")"
  exit 1
fi
echo "renderer symbols: $(basename "$program") holds one renderer, each symbol from one library"
