#!/usr/bin/env bash
# The Debian package end to end: builds it from a build folder whose programs
# are built, unpacks it with dpkg-deb -x into a scratch folder (never into the
# system), checks that every file is there, that lintian and the metainfo's
# validator pass it, each program's version and manual page, and that a second
# package is the same bytes; draws a frame with the unpacked velmora-view, then
# runs the unpacked launcher headless until the program has logged in to the
# launcher's server, and stops it, once from outside and once by ending the
# program. Every wait is bounded.
#
#   tests/package/package_test.sh SOURCE_DIR BUILD_DIR SCRATCH_DIR RENDERER_DIR BIN_DIR
#
# RENDERER_DIR and BIN_DIR are where the build installs the renderer library
# and the programs, below the prefix (lib/x86_64-linux-gnu/velmora, games).
set -euo pipefail
source_dir=$1
build_dir=$2
scratch=$3
renderer=usr/$4/libprismoth.so
bin=usr/$5

# Bounds, in seconds: the login takes a few seconds on llvmpipe; the bounds
# leave room for a loaded machine without letting a hang run on.
login_wait=90
stop_wait=20

faults=0
fail() {
  echo "FAIL: $*" >&2
  faults=$((faults + 1))
}

launcher_pid=
cleanup() {
  if [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; then
    kill "$launcher_pid" 2>/dev/null || true
    wait "$launcher_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

rm -rf "$scratch"
mkdir -p "$scratch/out" "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"

echo "== package"
deb=$("$source_dir/tools/package" --from "$build_dir" "$scratch/out" 2>"$scratch/package.log" |
      tail -n 1) || { cat "$scratch/package.log" >&2; echo "FAIL: tools/package" >&2; exit 1; }
echo "$deb ($(stat -c %s "$deb") bytes)"

root=$scratch/root
dpkg-deb -x "$deb" "$root"

echo "== files"
# Programs, the launcher and the renderer library.
for program in velmora velmora-server velmora-view velmora-replay velmora-logbook velmora-traffic velmora-play; do
  [ -f "$root/$bin/$program" ] && [ -x "$root/$bin/$program" ] ||
    fail "$bin/$program missing or not executable"
done
[ -f "$root/$renderer" ] || fail "$renderer missing"
# Every file of the sample installation, byte for byte, and the missions.
installation=0
while IFS= read -r file; do
  name=${file##*/}
  installation=$((installation + 1))
  cmp -s "$file" "$root/usr/share/velmora/$name" || fail "usr/share/velmora/$name missing or differs"
done < <(find "$source_dir/data" -maxdepth 1 -type f \( -name '*.dat' -o -name '*.x' -o -name '*.png' \))
[ "$installation" -ge 3 ] || fail "only $installation installation files found in $source_dir/data"
cmp -s "$source_dir/server/missions.txt" "$root/usr/share/velmora/missions.txt" ||
  fail "usr/share/velmora/missions.txt missing or differs"
# The sounds, byte for byte, in their folder.
sounds=0
while IFS= read -r file; do
  sounds=$((sounds + 1))
  cmp -s "$file" "$root/usr/share/velmora/sounds/${file##*/}" ||
    fail "usr/share/velmora/sounds/${file##*/} missing or differs"
done < <(find "$source_dir/data/sounds" -maxdepth 1 -type f -name '*.wav')
[ "$sounds" -ge 1 ] || fail "no sounds found in $source_dir/data/sounds"
# Nothing from the build or the generators comes along.
extra=$(find "$root/usr/share/velmora" -type f ! -name '*.dat' ! -name '*.x' ! -name '*.png' \
          ! -name missions.txt ! -path '*/usr/share/velmora/sounds/*.wav')
[ -z "$extra" ] || fail "unexpected files in usr/share/velmora: $extra"
# The desktop entry starts the launcher and names the icon the package holds.
desktop=$root/usr/share/applications/velmora.desktop
if [ -f "$desktop" ]; then
  grep -qx 'Exec=velmora-play' "$desktop" || fail "the desktop entry does not start velmora-play"
  grep -qx 'Icon=velmora' "$desktop" || fail "the desktop entry does not name the icon velmora"
  grep -qx 'Type=Application' "$desktop" || fail "the desktop entry is not an application"
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the entry"
else
  fail "usr/share/applications/velmora.desktop missing"
fi
icon=$root/usr/share/icons/hicolor/64x64/apps/velmora.png
if [ -f "$icon" ]; then
  # A PNG of 64 x 64 pixels: the signature, then the IHDR width and height.
  header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
  [ "${header:0:16}" = 89504e470d0a1a0a ] || fail "the icon is not a PNG file"
  [ "${header:32:16}" = 0000004000000040 ] || fail "the icon is not 64 x 64 pixels"
else
  fail "usr/share/icons/hicolor/64x64/apps/velmora.png missing"
fi
# The dependencies are Debian package names: the linked libraries' packages
# and what is loaded at run time.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6network6 libsdl2-2.0-0 libassimp5 libegl1 libegl-mesa0 \
               libgl1-mesa-dri fonts-noto-cjk libopenal1 libsndfile1; do
  case ", $depends," in
    *", $package,"* | *", $package "*) ;;
    *) fail "Depends lacks $package: $depends" ;;
  esac
done
[ "$(dpkg-deb -f "$deb" Package)" = velmora ] || fail "the package is not named velmora"

echo "== release"
# Debian's checks find no error and no warning.
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$scratch/lintian.log")"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >"$scratch/appstream.log" ||
  fail "appstreamcli: $(cat "$scratch/appstream.log")"
# Every program says the package's version, and the commit when the source is a checkout.
version=$(dpkg-deb -f "$deb" Version)
built=
commit=$(git -C "$source_dir" rev-parse --short=12 HEAD 2>/dev/null) &&
  built=' \(commit '$commit'(, modified)?\)'
for program in velmora velmora-server velmora-view velmora-replay velmora-logbook velmora-traffic velmora-play; do
  line=$("$root/$bin/$program" --version) || fail "$program --version: status $?"
  [[ $line =~ ^$program\ ${version//./\\.}$built$ ]] ||
    fail "$program --version says '$line', not version $version of commit '$commit'"
  # Its manual page renders without a warning and names the options --help names.
  page=$root/usr/share/man/man6/$program.6.gz
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man $page failed"
  [ -z "$warnings" ] || fail "man $page: $warnings"
  "$source_dir/tests/package/man_options.sh" "$root/$bin/$program" "$page" || fail "$page's options"
done
# A second package of the same build is the same bytes.
again=$("$source_dir/tools/package" --from "$build_dir" "$scratch/again" 2>>"$scratch/package.log" |
        tail -n 1) || fail "tools/package, again"
cmp "$deb" "$again" || fail "two packages of one build differ"

[ "$faults" -eq 0 ] || { echo "package_test: $faults fault(s)" >&2; exit 1; }

echo "== velmora-view"
# The unpacked tool draws a frame of the installed installation through the
# installed renderer library, from a folder with neither; the loader's log
# names the library it opened.
view=$scratch/view.png
status=0
(cd "$scratch/home" && LD_DEBUG=files timeout "$login_wait" "$root/$bin/velmora-view" \
   --size 64x48 0 -3200 -120 0 -4 0 "$view") >"$scratch/view.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "velmora-view: status $status: $(grep -v '^ *[0-9]*:' "$scratch/view.log")"
grep -q "file=$root/$renderer .*dynamically loaded" "$scratch/view.log" ||
  fail "velmora-view did not load $root/$renderer"
if [ -f "$view" ]; then
  header=$(od -An -tx1 -N24 "$view" | tr -d ' \n')
  [ "${header:32:16}" = 0000004000000030 ] || fail "velmora-view did not draw 64 x 48 pixels"
else
  fail "velmora-view wrote no picture"
fi

echo "== velmora-server"
# The unpacked server, started from a folder without missions and without
# --missions, reads the installed ones and listens.
server_log=$scratch/server.log
(cd "$scratch/home" && exec "$root/$bin/velmora-server" --port 0) >"$server_log" 2>&1 &
server_alone=$!
waited=0
until grep -q '^listening on 127\.0\.0\.1:[0-9]*$' "$server_log"; do
  if ! kill -0 "$server_alone" 2>/dev/null || [ "$waited" -ge $((stop_wait * 10)) ]; then
    fail "velmora-server from $scratch/home: $(cat "$server_log")"
    break
  fi
  sleep 0.1
  waited=$((waited + 1))
done
kill "$server_alone" 2>/dev/null || true
wait "$server_alone" 2>/dev/null || true

[ "$faults" -eq 0 ] || { echo "package_test: $faults fault(s)" >&2; exit 1; }

# The launcher's children: "PID NAME" for each process whose parent is $1.
children() {
  local stat pid rest ppid
  for stat in /proc/[0-9]*/stat; do
    read -r pid rest 2>/dev/null <"$stat" || continue
    # The name is in parentheses and may hold spaces; the parent follows the state.
    local name=${rest#(}
    name=${name%)*}
    ppid=$(echo "${rest##*)}" | cut -d' ' -f3)
    [ "$ppid" = "$1" ] && echo "$pid $name"
  done
  return 0
}

# Starts the unpacked launcher offscreen from a folder without an
# installation, so the program must find the installed one itself.
start_launcher() {  # start_launcher LOG
  (
    cd "$scratch/home"
    exec env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen HOME="$scratch/home" \
      XDG_RUNTIME_DIR="$scratch/runtime" "$root/$bin/velmora-play" --handle packager
  ) >"$1" 2>&1 &
  launcher_pid=$!
  local waited=0
  until grep -q "login: user [0-9]* 'packager'" "$1"; do
    if ! kill -0 "$launcher_pid" 2>/dev/null || [ "$waited" -ge $((login_wait * 10)) ]; then
      cat "$1" >&2
      echo "FAIL: the program did not log in within $login_wait s" >&2
      exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  port=$(sed -n 's/^velmora-play: game server on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$1")
  program_pid=$(children "$launcher_pid" | awk '$2 == "velmora" {print $1}')
  server_pid=$(children "$launcher_pid" | awk '$2 == "velmora-server" {print $1}')
  [ -n "$port" ] && [ -n "$program_pid" ] && [ -n "$server_pid" ] || {
    cat "$1" >&2
    echo "FAIL: port '$port', program '$program_pid', server '$server_pid'" >&2
    exit 1
  }
}

# Waits for the launcher to end; fails when it outlives the bound or leaves
# the program or the server behind.
expect_stopped() {  # expect_stopped WHAT
  local waited=0
  while kill -0 "$launcher_pid" 2>/dev/null; do
    if [ "$waited" -ge $((stop_wait * 10)) ]; then
      fail "$1: the launcher still runs after $stop_wait s"
      return
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  wait "$launcher_pid" 2>/dev/null || true
  launcher_pid=
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    fail "$1: port $port still accepts connections"
  fi
  # What the launcher left behind is reported, then stopped.
  local pid
  for pid in "$program_pid" "$server_pid"; do
    if kill -0 "$pid" 2>/dev/null; then
      fail "$1: $(tr '\0' ' ' <"/proc/$pid/cmdline") still runs"
      kill "$pid" 2>/dev/null || true
    fi
  done
  return 0
}

echo "== launcher, stopped from outside"
start_launcher "$scratch/play1.log"
# The installed program entered the installed data folder and loaded the
# installed renderer library, not the build's.
[ "$(readlink "/proc/$program_pid/cwd")" = "$root/usr/share/velmora" ] ||
  fail "the program reads its installation from $(readlink "/proc/$program_pid/cwd")"
grep -q " $root/$renderer\$" "/proc/$program_pid/maps" ||
  fail "the program has not loaded $root/$renderer"
kill -TERM "$launcher_pid"
expect_stopped "stopped from outside"

echo "== launcher, the program closes"
start_launcher "$scratch/play2.log"
kill -TERM "$program_pid"
expect_stopped "the program closed"

echo "== launcher, missions missing"
broken=$scratch/broken
cp -a "$root" "$broken"
rm "$broken/usr/share/velmora/missions.txt"
status=0
out=$(timeout "$stop_wait" "$broken/$bin/velmora-play" --handle packager 2>&1) || status=$?
[ "$status" -eq 1 ] || fail "missions missing: status $status, not 1"
case $out in
  *"velmora-play: the sample missions "*"missions.txt are missing"*) ;;
  *) fail "missions missing: says '$out'" ;;
esac

if [ "$faults" -ne 0 ]; then
  echo "package_test: $faults fault(s); logs in $scratch" >&2
  exit 1
fi
rm -rf "$scratch"
echo "package_test: the package holds every file and its launcher logs in and stops"
