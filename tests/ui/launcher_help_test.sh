#!/usr/bin/env bash
# velmora-play --help prints the launcher's own usage and starts nothing:
# stand-ins for the programs beside the launcher note every start.
set -euo pipefail
launcher=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$launcher" "$dir/velmora-play"
for program in velmora velmora-server; do
  printf '#!/bin/sh\necho "$0 $*" >>"%s/started"\n' "$dir" >"$dir/$program"
  chmod +x "$dir/$program"
done
for option in --help -h; do
  out=$(bash "$dir/velmora-play" --handle pilot "$option")
  case $out in
    "Usage: velmora-play"*) ;;
    *) echo "velmora-play $option printed: $out" >&2; exit 1 ;;
  esac
done
if [ -e "$dir/started" ]; then
  echo "velmora-play --help started: $(cat "$dir/started")" >&2
  exit 1
fi
