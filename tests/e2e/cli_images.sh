#!/usr/bin/env bash
# Disk images through stand-ins for 7-Zip: --7zip names one, and a signal
# during a hanging child ends the run as the signal would, with the private
# folder gone.
set -u
source "$(dirname "$0")/common.bash"
export TMPDIR="$W/tmp"
mkdir -p "$TMPDIR" "$W/bin"
printf 'koly' >"$W/App.dmg"


# 7-Zip named but missing: the install hint, and the other paths are checked.
t 1 --7zip "$W/none/7zz" "$W/App.dmg" "$EX/Loose.plist"
grep -qF "apt install 7zip" "$W/out" || bad "no install hint"
has "Checking Loose.plist"

# A hanging child and SIGTERM: the run ends by the signal, nothing is left.
printf '#!/bin/sh\nexec sleep 60\n' >"$W/bin/7zz"
chmod +x "$W/bin/7zz"
"$OSTREL_CHECK" --7zip "$W/bin/7zz" "$W/App.dmg" >"$W/out" 2>"$W/err" &
pid=$!
for _ in $(seq 50); do [ -n "$(ls -A "$TMPDIR")" ] && break; sleep 0.1; done
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" -eq $((128 + 15)) ] || bad "exit status $status after SIGTERM, not 143"
[ -z "$(ls -A "$TMPDIR")" ] || bad "left in TMPDIR: $(ls -A "$TMPDIR")"

finish cli_images
