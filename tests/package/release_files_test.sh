#!/usr/bin/env bash
# The release files made from the source: the Debian changelog and the
# AppStream releases that dist/release-notes makes of a CHANGELOG.md, and the
# commit header version/commit_header.cmake writes for --version.
#
#   tests/package/release_files_test.sh SOURCE_DIR SCRATCH_DIR
set -euo pipefail
source_dir=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
faults=0
fail() { echo "FAIL: $*" >&2; faults=$((faults + 1)); }
notes() { "$source_dir/dist/release-notes" "$@" 2>"$scratch/notes.err"; }

# Two releases under an unreleased section; the newest comes first.
cat >"$scratch/CHANGELOG.md" <<'TEXT'
# Changelog
Text before the first release.

## Unreleased

- Not in the package yet.

## 0.2.0 (2027-01-02)

- Trains & cars keep `--volume` <quiet>,
  on two lines.

## 0.1.0 (2026-12-09)

- First.
TEXT
expected="velmora (0.2.0) unstable; urgency=medium

  * Trains & cars keep --volume <quiet>,
    on two lines.

 -- A B <a@b.org>  Sat, 02 Jan 2027 00:00:00 +0000

velmora (0.1.0) unstable; urgency=medium

  * First.

 -- A B <a@b.org>  Wed, 09 Dec 2026 00:00:00 +0000"
[ "$(notes debian "$scratch/CHANGELOG.md" "A B <a@b.org>")" = "$expected" ] ||
  fail "the Debian changelog: $(notes debian "$scratch/CHANGELOG.md" "A B <a@b.org>")"
appstream=$(notes appstream "$scratch/CHANGELOG.md" | tr -d '\n' | tr -s ' ' | sed 's/^ //')
case $appstream in
  '<release version="0.2.0" date="2027-01-02"> <description> <ul> <li>Trains &amp; cars keep --volume &lt;quiet&gt;, on two lines.</li>'*'<release version="0.1.0" date="2026-12-09">'*'<li>First.</li> </ul> </description> </release>') ;;
  *) fail "the AppStream releases: $appstream" ;;
esac

# A changelog the package's checks would refuse stops the build.
long=$(printf 'x%.0s' $(seq 77))
for bad in "- $long" "Free text inside a release." ; do
  printf '## 0.1.0 (2026-12-09)\n\n%s\n' "$bad" >"$scratch/bad.md"
  if notes debian "$scratch/bad.md" "A <a@b.org>" >/dev/null; then fail "taken: '$bad'"; fi
  grep -q "bad.md:3: " "$scratch/notes.err" || fail "no line named for '$bad': $(cat "$scratch/notes.err")"
done
printf '## 0.1.0 (2026-12-09)\n\n- %s\n' "${long%x}" >"$scratch/longest.md"
notes debian "$scratch/longest.md" "A <a@b.org>" >/dev/null || fail "an item of 80 columns refused"

# The commit header: none outside a checkout; the commit, and whether tracked
# files differ from it, inside one; an unchanged header is not written again.
header=$scratch/commit.h
commit_header() { cmake -DSOURCE_DIR="$1" -DHEADER="$header" -P "$source_dir/version/commit_header.cmake"; }
mkdir -p "$scratch/tree"
commit_header "$scratch/tree"
grep -qx '#define VELMORA_COMMIT ""' "$header" || fail "a commit outside a checkout: $(cat "$header")"
git -C "$scratch/tree" init -q
echo a >"$scratch/tree/file"
git -C "$scratch/tree" add file
git -C "$scratch/tree" -c user.name=t -c user.email=t@t.org commit -qm one
commit=$(git -C "$scratch/tree" rev-parse --short=12 HEAD)
for state in clean modified; do
  [ "$state" = modified ] && echo b >"$scratch/tree/file"
  commit_header "$scratch/tree"
  modified=0
  [ "$state" = modified ] && modified=1
  [ "$(cat "$header")" = "#define VELMORA_COMMIT \"$commit\""$'\n'"#define VELMORA_COMMIT_MODIFIED $modified" ] ||
    fail "the $state checkout: $(cat "$header")"
done
touch -d @0 "$header"
commit_header "$scratch/tree"
[ "$(stat -c %Y "$header")" = 0 ] || fail "an unchanged header was written again"

[ "$faults" -eq 0 ] || exit 1
rm -rf "$scratch"
