#!/usr/bin/env bash
# ostrel end to end, under Xvfb: files named at launch are checked in order and
# the window shows the same report as ostrel-check, below the introduction;
# a second launch hands its files to the running window and exits.
set -u
source "$(dirname "$0")/common.bash"
# Exit status 77: skipped, for want of what the test needs.
if [ -z "${OSTREL_GUI:-}" ]; then
  echo "gui_launch: the desktop application is not built (OSTREL_BUILD_GUI=OFF): skipped"
  exit 77
fi
command -v xvfb-run >/dev/null || { echo "gui_launch: xvfb-run is not installed (tools/install-deps installs it): skipped"; exit 77; }
export XDG_RUNTIME_DIR="$W/run" # our own single-instance socket
mkdir -m 700 "$W/run"
unset QT_QPA_PLATFORM # the real X11 platform, on Xvfb

mkdir -p "$W/files/Broken.app/Contents"
printf '(1, 2)\n' >"$W/files/Broken.app/Contents/Info.plist"
printf 'not a property list {' >"$W/files/garbage.plist"
undecodable="$W/files/"$'caf\xe9.plist' # a name that is not UTF-8
cp "$EX/Loose.plist" "$undecodable"
files=("$EX/Correct.app" "$EX/Mistakes.app" "$W/files/Broken.app" "$W/files/garbage.plist" "$W/files/missing.plist"
  "$undecodable")

# 1. Files on the command line, checked as the window quits once they are done.
OSTREL_GUI_REPORT_OUT="$W/report.txt" OSTREL_GUI_QUIT_WHEN_DONE=1 \
  timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$OSTREL_GUI" "${files[@]}" >"$W/err" 2>&1 || bad "ostrel exited with $?"
[ -s "$W/report.txt" ] || bad "no report was written"

# The window's report is the introduction, then exactly what ostrel-check writes,
# each heading with its counts added.
without_counts() { sed -E 's/^(Checking .*)  —  [^—]*$/\1/' "$@"; }
grep -qxF 'Checking Correct.app  —  No problems found' "$W/report.txt" || bad "a clean bundle's heading does not say so"
without_counts "$W/report.txt" >"$W/report-plain.txt" && mv "$W/report-plain.txt" "$W/report.txt"
"$OSTREL_CHECK" "${files[@]}" >"$W/cli.txt" 2>/dev/null
intro_lines=$(($(wc -l <"$W/report.txt") - $(wc -l <"$W/cli.txt")))
[ "$intro_lines" -ge 1 ] && diff <(tail -n +"$((intro_lines + 1))" "$W/report.txt") "$W/cli.txt" >"$W/out" ||
  bad "the window's report differs from ostrel-check's"
grep -q "Correct.app" <(head -n "$intro_lines" "$W/report.txt") && bad "a heading inside the introduction"
grep -qxF 'Checking caf\xE9.plist' "$W/report.txt" || bad "a name that is not UTF-8 is checked, its byte shown as \\xE9"

# 2. A running window takes the files of a second launch.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  OSTREL_GUI_REPORT_OUT="$1/running.txt" "$OSTREL_GUI" "$2" &
  gui=$!
  for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/ostrel.socket" ] && [ -s "$1/running.txt" ] && break; sleep 0.1; done
  status=0
  timeout 20 "$OSTREL_GUI" "$3" "$4" >"$1/second.log" 2>&1 || status=$?
  echo "$status" >"$1/second.status"
  for _ in $(seq 100); do grep -q "missing.plist$" "$1/running.txt" 2>/dev/null && break; sleep 0.1; done
  kill "$gui"
  wait "$gui" 2>/dev/null
  exit 0' _ "$W" "$EX/Correct.app" "$W/files/Broken.app" "$W/files/missing.plist" >/dev/null 2>&1
[ "$(cat "$W/second.status" 2>/dev/null)" = "0" ] || bad "the second launch did not hand over (status $(cat "$W/second.status" 2>/dev/null))"
order=$(grep -v '^/' "$W/running.txt" 2>/dev/null | without_counts | grep -oE '(Correct|Broken)\.app$|missing\.plist$' | tr '\n' ' ')
[ "$order" = "Correct.app Broken.app missing.plist " ] || bad "the running window shows: $order"

finish gui_launch
