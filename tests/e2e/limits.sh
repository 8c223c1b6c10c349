#!/usr/bin/env bash
# Hostile input and output for ostrel-check (the window checks through the same
# controller: tests/app): special files for --dump, binary
# property lists whose shared objects unfold without end, more findings than a
# report shows, rules, strings and options that would cost gigabytes, and
# standard output that cannot be written.
# Each run has a time limit here; a hang is a failure.
set -u
source "$(dirname "$0")/common.bash"
TIME_LIMIT=20

# Binary property lists that share objects (tests/data/limits): one that
# unfolds to a million findings, three levels of a hundred, and one that stays
# within the bound but has more findings than a report shows.
L="${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}/limits"
[ "$(stat -c %s "$L/shared.plist")" -lt 5000 ] || bad "shared.plist is not a small file"
for file in shared deeper; do
  t 1 "$L/$file.plist"
  grep -qE '^error: (line [0-9]+: )?The file is not a valid property list: .*shared objects unfold to more than' "$W/out" ||
    bad "$file: no parse error about the unfolding"
done
t 0 "$L/capped.plist"
findings=$(grep -cE '^(error|warning|note): ' "$W/out")
[ "$findings" -eq 10001 ] || bad "capped: $findings findings, not 10000 and the closing note"
tail -1 "$W/out" | grep -qE '^warning: (line [0-9]+: )?20[0-9][0-9] more findings of this file are left out' || bad "capped: no closing note"
# Many of them: each file's report is written and forgotten.
t 1 $(for i in $(seq 20); do echo "$L/capped.plist" "$L/shared.plist"; done)
[ "$(grep -cE '^warning: (line [0-9]+: )?20[0-9][0-9] more findings' "$W/out")" -eq 20 ] || bad "many files: not one closing note each"

# Bounds on what one run may cost, under a limit of address space: rules whose
# type list has 200,000 names, a strings table whose text has 200,000
# placeholders, -j far beyond the cores, threads the system refuses (a stack
# of 1 GB each), and 100,000 unknown keys, whose places are looked up.
python3 - "$W" <<'PY'
import plistlib, sys
w = sys.argv[1]
names = ["t%06d" % i for i in range(200000)]
with open(f"{w}/types-rules.plist", "wb") as f:
    plistlib.dump({"keys": {"Foo": {"type": "array", "arrayitem": {"type": names}}}}, f, fmt=plistlib.FMT_BINARY)
with open(f"{w}/types.plist", "wb") as f:
    plistlib.dump({"Foo": list(range(2000))}, f, fmt=plistlib.FMT_BINARY)
with open(f"{w}/placeholders.strings", "w") as f:
    f.write('"UnknownTopKey" = "%s";\n' % ("%1$@" * 200000))
with open(f"{w}/long-keys.plist", "wb") as f:
    plistlib.dump({c * 100000: 1 for c in "KLM"}, f, fmt=plistlib.FMT_BINARY)
with open(f"{w}/unknown-keys.plist", "w") as f:
    f.write("<plist><dict>\n" + "".join("<key>X%06d</key><string/>\n" % i for i in range(100000)) + "</dict></plist>\n")
PY
many() { for _ in $(seq "$1"); do echo "$W/small.plist"; done; }
printf '<plist><dict/></plist>' >"$W/small.plist"
"$OSTREL_CHECK" -j 1 $(many 40) >"$W/serial" 2>/dev/null
longest() { awk '{ if (length($0) > n) n = length($0) } END { print n + 0 }' "$W/out"; }
while IFS='|' read -r name status memory stack lines check args; do
  got=0
  # shellcheck disable=SC2046,SC2086
  (ulimit -v "$memory" -s "$stack" && exec timeout 60 "$OSTREL_CHECK" $(eval echo $args)) >"$W/out" 2>"$W/err" || got=$?
  [ "$got" -eq "$status" ] || { bad "$name: exit status $got, not $status"; continue; }
  [ "$(grep -cE '^(error|warning|note): ' "$W/out")" -eq "$lines" ] || bad "$name: not $lines findings"
  eval "$check" || bad "$name: $check"
done < <(cases limits-costs.psv)

# --dump reads through the checker's reader (pipes and huge files: PlistDataReaderTest): no devices or sockets.
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$W/socket.plist"
for special in /dev/zero /dev/null "$W/socket.plist"; do
  t 1 --dump "$special"
  err_has "$special: error: Could not read the property list: "
  err_has "regular file"
done
t 1 --dump "$L/shared.plist"
err_has "unfold to more than"
# Control characters in a name are escaped on stderr too.
t 1 --dump "$W/bad"$'\e'"name.plist"
err_has 'bad\x1Bname.plist: error: '

# Every output mode into a full disk and into a closed descriptor.
printf '<plist><dict/></plist>' >"$W/small.plist"
for args in "$W/small.plist" "--format json $W/small.plist" "--dump $W/small.plist" --help --version; do
  for into in full closed; do
    status=0
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
timeout 20 "$OSTREL_CHECK" $(for i in $(seq 300); do echo "$L/capped.plist"; done) 2>"$W/err" | head -c 100 >/dev/null
[ ! -s "$W/err" ] || bad "a closed pipe was reported"

# Archives: twenty links to the same folder beside a bundle, one entry of a
# 400 KB path, a plain tar cut where an entry ends (tests/data/limits), and
# dictionaries of 64 MiB each that no bundle uses (with -j 2 as well). Each
# within 400 MB of address space and the time limit.
python3 - "$W/strays.tar.gz" <<'PY'
import io, sys, tarfile
class Zeros(io.RawIOBase):
    def __init__(self, left): self.left = left
    def readable(self): return True
    def readinto(self, b):
        n = min(len(b), self.left); b[:n] = bytes(n); self.left -= n; return n
plist = b'<plist><dict><key>CFBundleIdentifier</key><string>com.example.tool</string></dict></plist>'
with tarfile.open(sys.argv[1], "w:gz", compresslevel=1) as t:
    for k in range(8):
        info = tarfile.TarInfo(f"Stray{k}/Info.plist")
        info.size = 64 << 20
        t.addfile(info, Zeros(info.size))
    info = tarfile.TarInfo("Tool.app/Contents/Info.plist")
    info.size = len(plist)
    t.addfile(info, io.BytesIO(plist))
PY
tm() { # tm STATUS ARGS...: t within 400 MB of address space
  local want=$1 status=0
  shift
  (ulimit -v 400000 && timeout 20 "$OSTREL_CHECK" "$@" >"$W/out" 2>"$W/err") || status=$?
  [ "$status" -eq "$want" ] || bad "exit status $status, not $want within 400 MB: ostrel-check $*"
}
out_is() {
  [ "$(grep -c '^Checking ' "$W/out")" -eq "$1" ] && ! grep -q 'Caught' "$W/out" ||
    bad "$2: not $1 headings: $(head -c 300 "$W/out")"
}
tm 0 "$L/links.zip"
out_is 2 "links"
tm 1 "$L/deep.tar.gz"
out_is 2 "deep path"
grep -q '^error: The entry "a/a/a/.*was left out of the check: its path is longer than 4096 bytes' "$W/out" ||
  bad "deep path: no line for the entry left out"
tm 0 "$W/strays.tar.gz"
out_is 2 "stray dictionaries"
tm 0 -j 2 "$W/strays.tar.gz" "$W/strays.tar.gz"
out_is 4 "stray dictionaries, -j 2"
tm 1 "$L/cut.tar"
grep -q '^error: The archive could not be read: it ends before its end-of-archive blocks' "$W/out" ||
  bad "cut tar: not reported as cut"

finish limits
