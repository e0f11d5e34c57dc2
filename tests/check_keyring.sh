#!/usr/bin/env bash
# The password through a real Secret Service: GNOME Keyring on a D-Bus of this test's own, in
# a home of its own (the developer's keyring is never touched). Saved, the password is in the
# keyring and not in the profile, and Step 3 logs in with it; with the keyring gone, Step 3 stops
# before the login and says why. Exit 77 (skipped) where the keyring daemon is not installed.
# usage: check_keyring.sh BIN_DIR
set -uo pipefail
bin="$1"
for p in dbus-run-session gnome-keyring-daemon python3; do
  command -v "$p" >/dev/null || { echo "skipped: $p is not installed (scripts/setup installs it)"; exit 77; }
done
work="$(mktemp -d)"
sim=""
cleanup() { [ -n "$sim" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

"$bin/velorix-sim" --port 0 --items 4 >"$work/sim.log" 2>&1 </dev/null &
sim=$!
port=""
for _ in $(seq 1 50); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the simulator did not start"; cat "$work/sim.log"; exit 1; }

mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
export VELORIX_CONNECT_TO="127.0.0.1:$port" VELORIX_PACE=0.05
unset DISPLAY WAYLAND_DISPLAY VELORIX_KEYRING
db="$work/p.db"
printf 'plumo\n' >"$work/pw"
sql() { python3 -c "import sqlite3,sys; v = sqlite3.connect(sys.argv[1]).execute(sys.argv[2]).fetchone()[0]; print('' if v is None else v)" "$db" "$1"; }
column() { sql "SELECT $1 FROM soft_config"; }

failed=0
check() { if eval "$2"; then echo "ok    $1"; else echo "FAIL  $1"; failed=$((failed + 1)); fi; }

# The run with a keyring, in one session bus; the daemon goes with it.
cat >"$work/with-keyring.sh" <<INNER
printf 'unlockpw' | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || exit 3
"$bin/velorix-cli" --db "$db" settings --site mirror.velorix.test --user demoadmin --pass-file "$work/pw" \
  --shop velorix-demo.taobao.com --shopsid 20260001 >"$work/settings.out" 2>&1 || exit 4
"$bin/velorix-cli" --db "$db" run >"$work/run.out" 2>&1 || exit 5
INNER
timeout 120 dbus-run-session -- bash "$work/with-keyring.sh" 2>"$work/bus1.err"
rc=$?
[ "$rc" -eq 3 ] && { echo "skipped: gnome-keyring-daemon does not start here"; exit 77; }
check "settings and run go through with the keyring (status $rc)" '[ "$rc" -eq 0 ]'
check "settings says the password is in the keyring" 'grep -qx "密码保存在系统密钥环中" "$work/settings.out"'
check "the profile keeps no password and points to the keyring" '[ -z "$(column web_pass)" ] && [ "$(column pass_store)" = keyring ]'
check "Step 3 logged in with the keyring's password and uploaded every collected item" \
  '[ "$(sql "SELECT count(*) FROM itemlist WHERE state=3")" -gt 0 ] && [ "$(sql "SELECT count(*) FROM itemlist WHERE state IN (1,2) AND itemstate=0")" = 0 ]'

# This bus starts the keyring on demand, but nobody can unlock it (no display for its prompt),
# as for a timer without a desktop session: Step 3 stops before the login, with why.
uploaded="$(sql "SELECT count(*) FROM itemlist WHERE state=3")"
cat >"$work/without.sh" <<INNER
"$bin/velorix-cli" --db "$db" upload >"$work/upload.out" 2>"$work/upload.err"
INNER
timeout 60 dbus-run-session -- bash "$work/without.sh" 2>"$work/bus2.err"
rc=$?
check "without the keyring upload fails (status $rc)" '[ "$rc" -eq 1 ]'
check "and says why" 'grep -q "^无法从系统密钥环读取网站后台密码（" "$work/upload.out"'
check "and uploads nothing" '[ "$(sql "SELECT count(*) FROM itemlist WHERE state=3")" = "$uploaded" ]'
# A daemon of this test's buses has its home; one of the desktop's is none of its business.
leftover() {
  for p in $(pgrep -f gnome-keyring-daemon); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "HOME=$work/home" && return 0
  done
  return 1
}
for _ in $(seq 1 20); do leftover || break; sleep 0.1; done
check "no keyring daemon of this test is left" '! leftover'
[ "$failed" -eq 0 ] || { echo "--- outputs"; cat "$work"/*.out "$work"/*.err "$work/sim.log" 2>/dev/null; }
echo "keyring: $failed failed"
[ "$failed" -eq 0 ]
