#!/usr/bin/env bash
# ostrel-check --rtfd OUT: the report saved as the desktop application saves
# it (TXT.rtf and the icons' images); a failed save is said and fails the run.
set -u
source "$(dirname "$0")/common.bash"

# Findings of every kind: the document holds each image once.
t 1 --rtfd "$W/Log.rtfd" "$EX/Mistakes.app" "$EX/LegacyTool"
listing=$(cd "$W/Log.rtfd" 2>/dev/null && ls | tr '\n' ' ')
[ "$listing" = "TXT.rtf error16x16.png note16x16.png warning16x16.png " ] || bad "document holds: $listing"
head -c 6 "$W/Log.rtfd/TXT.rtf" | grep -qF '{\rtf1' || bad "TXT.rtf is not RTF"
grep -qF '\b Mistakes.app\b0' "$W/Log.rtfd/TXT.rtf" || bad "the bundle's name is not in bold"
[ "$(grep -o 'NeXTGraphic error16x16.png' "$W/Log.rtfd/TXT.rtf" | wc -l)" -eq "$(grep -c '^error: ' "$W/out")" ] ||
  bad "not one error image per error line"
# The text to stdout is as without the option.
"$OSTREL_CHECK" "$EX/Mistakes.app" "$EX/LegacyTool" >"$W/plain" 2>/dev/null
cmp -s "$W/out" "$W/plain" || bad "--rtfd changed what is written to stdout"

rows e2e-rtfd.psv

# Only nothing, an empty folder or an RTFD document of ours is replaced; for
# anything else the run stops with status 2, names it, and nothing changes.
T="$W/targets"
snapshot() { (cd "$T" && find . -printf '%p %y %l\n' | sort && find . -type f -exec md5sum {} + | sort); }
refused() { # refused TARGET ARGS...: the save is refused and no file changes
  local target=$1 before
  shift
  before=$(snapshot)
  t 2 --rtfd "$target" "$@"
  grep -qF "will not save the report as $target: " "$W/err" || bad "no refusal naming $target"
  [ "$(snapshot)" = "$before" ] || bad "--rtfd $target changed files"
}
# Which targets are refused is the report layer's (SaveTargetTest); here, that
# the run passes it the files checked and its folder, and stops before touching anything.
mkdir -p "$T/empty" "$T/work"
cp -r "$EX/Correct.app" "$T/A.app"
refused "$T/A.app" "$T/A.app"
refused "$T/A.app/Contents/Log.rtfd" "$T/A.app"
refused "$T/A.app/Contents" "$T/A.app/Contents/Info.plist"
cd "$T/work" || exit 1
refused .. "$T/A.app"
cd "$W" || exit 1
# An empty folder, then the document made there, are replaced whole.
for round in 1 2; do
  t 0 --rtfd "$T/empty" "$T/A.app"
  [ "$(ls "$T/empty")" = "TXT.rtf" ] || bad "round $round: the empty folder did not become the document"
done

finish gui_rtfd
