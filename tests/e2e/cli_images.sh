#!/usr/bin/env bash
# Disk images through stand-ins for 7-Zip: --7zip names one, a link the child
# leaves that leads out of its folder is not followed, and a signal during a hanging
# child ends the run as the signal would, with the private folder gone.
set -u
source "$(dirname "$0")/common.bash"
export TMPDIR="$W/tmp"
mkdir -p "$TMPDIR" "$W/bin"
printf 'koly' >"$W/App.dmg"

has() { # has TEXT: the last run's stdout holds it
  checks=$((checks + 1))
  grep -qF -- "$1" "$W/out" || bad "stdout lacks: $1"
}
no_leftovers() {
  checks=$((checks + 1))
  [ -z "$(ls -A "$TMPDIR")" ] || bad "left in TMPDIR: $(ls -A "$TMPDIR")"
}

# A child that lists nothing and, asked to unpack, makes an application and a
# link out of the folder it is given: the checker does not follow it.
cat >"$W/bin/7zz" <<'SH'
#!/bin/sh
[ "$1" = x ] || exit 0
for a; do case $a in -o*) out=${a#-o};; esac; done
mkdir -p "$out/App.app/Contents"
printf '<plist><dict><key>CFBundleIdentifier</key><string>com.example.app</string></dict></plist>' >"$out/App.app/Contents/Info.plist"
ln -s /etc "$out/Evil.app"
SH
chmod +x "$W/bin/7zz"
t 0 --7zip "$W/bin/7zz" "$W/App.dmg"
has "Checking App.dmg/App.app"
has "The link App.dmg/Evil.app leads out of the product"
no_leftovers

# 7-Zip named but missing: the install hint, and the other paths are checked.
t 1 --7zip "$W/none/7zz" "$W/App.dmg" "$EX/Loose.plist"
has "apt install 7zip"
has "Checking Loose.plist"

# A hanging child and SIGTERM: the run ends by the signal, nothing is left.
printf '#!/bin/sh\nexec sleep 60\n' >"$W/bin/7zz"
"$OSTREL_CHECK" --7zip "$W/bin/7zz" "$W/App.dmg" >"$W/out" 2>"$W/err" &
pid=$!
for _ in $(seq 50); do [ -n "$(ls -A "$TMPDIR")" ] && break; sleep 0.1; done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
checks=$((checks + 1))
[ "$status" -eq $((128 + 15)) ] || bad "exit status $status after SIGTERM, not 143"
no_leftovers

finish cli_images
