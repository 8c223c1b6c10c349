#!/usr/bin/env bash
# Hostile input and output for both programs: special files and huge files for
# --dump, binary property lists whose shared objects unfold without end, more
# findings than a report shows, and standard output that cannot be written.
# Each run has a time limit here; a hang is a failure.
set -u
source "$(dirname "$0")/common.bash"
t() { # t STATUS ARGS...: ostrel-check within 20 seconds, stdout in $W/out
  local want=$1 status=0
  shift
  checks=$((checks + 1))
  timeout 20 "$OSTREL_CHECK" "$@" >"$W/out" 2>"$W/err" || status=$?
  [ "$status" -eq "$want" ] || bad "exit status $status, not $want: ostrel-check $*"
}
err_has() {
  checks=$((checks + 1))
  grep -qF -- "$1" "$W/err" || bad "stderr lacks: $1"
}

# Binary property lists that share objects: a thousand references to one
# dictionary whose array holds a thousand references to one bad type
# identifier (4 KB), three levels of a hundred, and one that stays within the
# bound but has more findings than a report shows.
python3 - "$W" <<'PY'
import plistlib, sys
w = sys.argv[1]
def types(n, m, pad=0):
    doc = {"LSItemContentTypes": ["bad uti"] * m}
    top = {"CFBundleIdentifier": "com.example.shared", "CFBundleDocumentTypes": [doc] * n}
    if pad:
        top["Padding"] = "x" * pad
    return top
def save(name, value):
    with open(f"{w}/{name}", "wb") as f:
        plistlib.dump(value, f, fmt=plistlib.FMT_BINARY)
save("shared.plist", types(1000, 1000))
level = ["bad uti"] * 100
save("deeper.plist", {"CFBundleDocumentTypes": [{"LSItemContentTypes": [level] * 100}] * 100})
save("capped.plist", types(100, 120, pad=4000))
PY
[ "$(stat -c %s "$W/shared.plist")" -lt 5000 ] || bad "shared.plist is not a small file"
for file in shared deeper; do
  t 1 "$W/$file.plist"
  checks=$((checks + 1))
  grep -qE '^error: (line [0-9]+: )?The file is not a valid property list: .*shared objects unfold to more than' "$W/out" ||
    bad "$file: no parse error about the unfolding"
done
t 0 "$W/capped.plist"
checks=$((checks + 1))
findings=$(grep -cE '^(error|warning|note): ' "$W/out")
[ "$findings" -eq 10001 ] || bad "capped: $findings findings, not 10000 and the closing note"
checks=$((checks + 1))
tail -1 "$W/out" | grep -qE '^warning: (line [0-9]+: )?20[0-9][0-9] more findings of this file are left out' || bad "capped: no closing note"
# Many of them: each file's report is written and forgotten.
t 1 $(for i in $(seq 20); do echo "$W/capped.plist" "$W/shared.plist"; done)
checks=$((checks + 1))
[ "$(grep -cE '^warning: (line [0-9]+: )?20[0-9][0-9] more findings' "$W/out")" -eq 20 ] || bad "many files: not one closing note each"

if [ -n "${OSTREL_GUI:-}" ]; then
  for file in shared capped; do
    status=0
    OSTREL_GUI_REPORT_OUT="$W/gui-$file.txt" OSTREL_GUI_QUIT_WHEN_DONE=1 XDG_RUNTIME_DIR="$W" QT_QPA_PLATFORM=offscreen \
      timeout 60 "$OSTREL_GUI" "$W/$file.plist" >"$W/err" 2>&1 || status=$?
    checks=$((checks + 1))
    [ "$status" -eq 0 ] || bad "ostrel on $file.plist exited with $status"
    checks=$((checks + 1))
    size=$(stat -c %s "$W/gui-$file.txt" 2>/dev/null || echo 0)
    [ "$size" -gt 0 ] && [ "$size" -lt 5000000 ] || bad "ostrel on $file.plist: report of $size bytes"
  done
  checks=$((checks + 1))
  grep -q 'more findings of this file are left out' "$W/gui-capped.txt" || bad "ostrel: no closing note"
fi

# --dump reads as checking does: no devices, pipes, sockets or huge files.
mkfifo "$W/fifo.plist"
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$W/socket.plist"
truncate -s 300M "$W/huge.plist"
for special in /dev/zero /dev/null "$W/fifo.plist" "$W/socket.plist"; do
  t 1 --dump "$special"
  err_has "$special: error: Could not read the property list: "
  err_has "regular file"
done
t 1 --dump "$W/huge.plist"
err_has "too large to be a property list"
t 1 --dump "$W/shared.plist"
err_has "unfold to more than"
# Control characters in a name are escaped on stderr too.
t 1 --dump "$W/bad"$'\e'"name.plist"
err_has 'bad\x1Bname.plist: error: '

# Every output mode into a full disk and into a closed descriptor.
printf '<plist><dict/></plist>' >"$W/small.plist"
for args in "$W/small.plist" "--format json $W/small.plist" "--dump $W/small.plist" --help --version; do
  for into in full closed; do
    status=0
    checks=$((checks + 1))
    # shellcheck disable=SC2086
    if [ "$into" = full ]; then
      timeout 20 "$OSTREL_CHECK" $args >/dev/full 2>"$W/err" || status=$?
    else
      timeout 20 "$OSTREL_CHECK" $args >&- 2>"$W/err" || status=$?
    fi
    [ "$status" -eq 2 ] || bad "$into: exit status $status, not 2: ostrel-check $args"
    err_has "ostrel-check: cannot write the report: "
  done
done
# A reader that stops early ends the run quietly.
checks=$((checks + 1))
timeout 20 "$OSTREL_CHECK" $(for i in $(seq 300); do echo "$W/capped.plist"; done) 2>"$W/err" | head -c 100 >/dev/null
[ ! -s "$W/err" ] || bad "a closed pipe was reported"

finish limits
