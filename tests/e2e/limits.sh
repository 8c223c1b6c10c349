#!/usr/bin/env bash
# Hostile input and output for ostrel-check (the window checks through the same
# controller: tests/app): special files for --dump, binary
# property lists whose shared objects unfold without end, more findings than a
# report shows, rules, strings and options that would cost gigabytes, archives
# that would cost memory, and standard output that cannot be written.
# Each run has a time limit here; a hang is a failure.
set -u
source "$(dirname "$0")/common.bash"
TIME_LIMIT=20
L="${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}/limits"
[ "$(stat -c %s "$L/shared.plist")" -lt 5000 ] || bad "shared.plist is not a small file"

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
PY
printf '<plist><dict>\n%s</dict></plist>\n' "$(printf '<key>X%06d</key><string/>\n' $(seq 0 99999))" >"$W/unknown-keys.plist"
many() { for _ in $(seq "$1"); do echo "$W/small.plist"; done; }
printf '<plist><dict/></plist>' >"$W/small.plist"
"$OSTREL_CHECK" -j 1 $(many 40) >"$W/serial" 2>/dev/null
longest() { awk '{ if (length($0) > n) n = length($0) } END { print n + 0 }' "$W/out"; }
rows limits-costs.psv

# A socket for --dump, and an archive of eight 64 MiB dictionaries no bundle uses beside a bundle.
python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$W/socket.plist"
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
rows e2e-limits.psv

# Every output mode into a full disk and into a closed descriptor.
for args in "$W/small.plist" "--format json $W/small.plist" "--dump $W/small.plist" --help --version; do
  for into in '>/dev/full' '>&-'; do
    status=0
    eval "timeout 20 \"\$OSTREL_CHECK\" $args $into 2>\"\$W/err\"" || status=$?
    [ "$status" -eq 2 ] || bad "$into: exit status $status, not 2: ostrel-check $args"
    err_has "ostrel-check: cannot write the report: "
  done
done
# A reader that stops early ends the run quietly.
timeout 20 "$OSTREL_CHECK" $(for i in $(seq 300); do echo "$L/capped.plist"; done) 2>"$W/err" | head -c 100 >/dev/null
[ ! -s "$W/err" ] || bad "a closed pipe was reported"

finish limits
