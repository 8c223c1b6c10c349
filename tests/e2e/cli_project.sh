#!/usr/bin/env bash
# A project's own files as ostrel-check finds them: .ostrel.toml and .ostrel-ignore
# above each PATH, inline suppressions, and a baseline written, edited and pruned.
set -u
source "$(dirname "$0")/common.bash"

P="$W/proj"
dict() { # dict FILE LINES...: a property list of one dictionary, one line of LINES a line from line 4
  local file=$1
  shift
  plist "$file" '<dict>' "$@" '</dict>'
}
mkdir -p "$P/.git" "$P/sub/deep"
# The recommended keys, after those of each case.
REC=('<key>CFBundleInfoDictionaryVersion</key><string>6.0</string>' '<key>CFBundlePackageType</key><string>BNDL</string>'
  '<key>CFBundleVersion</key><string>1</string>')
# Line 4: an unknown key (a note), 5: a misspelt one, 6: a bad bundle identifier (warnings).
dict "$P/sub/deep/A.plist" '<key>Extra</key><string>x</string>' '<key>NSPrincipleClass</key><string>X</string>' \
  '<key>CFBundleIdentifier</key><string>a_b</string>' "${REC[@]}"
printf '%s\n' '{' '  // ostrel-ignore: KeyTypo' '  NSPrincipleClass = X;' '  Extra = x; /* ostrel-ignore: UnknownTopKey, BadType */' \
  '  CFBundleIdentifier = a.b; // ostrel-ignore: BadType' \
  '  CFBundleInfoDictionaryVersion = "6.0"; CFBundlePackageType = BNDL; CFBundleVersion = 1;' '}' >"$P/Old.plist"
printf 'fail-on = "note"\n' >"$W/.ostrel.toml" # above the .git folder: never read

# Settings: status | a line of the output | the file's text | arguments, from $P/sub.
while IFS='|' read -r status line toml args; do
  rm -f "$P/.ostrel.toml"
  printf '%b' "$toml" >"$P/.ostrel.toml"
  cd "$P/sub" || exit 1
  # shellcheck disable=SC2086
  t "$status" $args
  cd - >/dev/null || exit 1
  has "$line" "$W/out" "$W/err"
done < <(cases project-settings.psv)

# --config names the one file; a syntax error names its line.
rm -f "$P/.ostrel.toml"
printf 'fail-on = "note"\n' >"$W/ci.toml"
cd "$P" || exit 1
t 1 --config "$W/ci.toml" sub/deep/A.plist
cd - >/dev/null || exit 1
printf 'nested = false\nfail-on = \n' >"$W/ci.toml"
t 2 --config "$W/ci.toml" "$P/sub/deep/A.plist"
grep -q "^ostrel-check: $W/ci.toml:2: " "$W/err" || bad "the syntax error's line"
t 2 --config "$W/none.toml" "$P/sub/deep/A.plist"

# .ostrel-ignore: found the same way, with comments, globs and an entry that silences nothing.
printf 'sub/**/A.plist: KeyTypo   # until 2.0\nOther/*.plist: BIDBadChar\n' >"$P/.ostrel-ignore"
cd "$P/sub/deep" || exit 1
t 1 --fail-on warning A.plist
cd - >/dev/null || exit 1
has "0 errors, 1 warning, 2 notes in 1 file, and 1 ignored" "$W/err"
has "$P/.ostrel-ignore"
has "note: line 2: The suppression BIDBadChar silenced nothing in this run: remove it, or correct its ID or key path. [UnusedSuppression]"
t 0 --format json "$P/sub/deep/A.plist"
grep -qF "\"file\":\"$P/.ostrel-ignore\",\"id\":\"UnusedSuppression\",\"keyPath\":\"\",\"line\":2" "$W/out" || bad "the unused entry in JSON"
rm "$P/.ostrel-ignore"

# Inline, in old-style text: the line before the key and the same line; one that silences nothing.
t 0 "$P/Old.plist"
lacks "[KeyTypo]"
lacks "Unknown key Extra"
has "note: line 5: The suppression ostrel-ignore: BadType silenced nothing in this run: remove it, or correct its ID or key path. [UnusedSuppression]"
[ "$(grep -c UnusedSuppression "$W/out")" -eq 1 ] || bad "a note for a comment that silenced something"

# The baseline: written, then only new findings count, then stale entries are listed.
B="$P/baseline.json"
t 0 --write-baseline "$B" "$P/sub/deep/A.plist"
! grep -q '"line"' "$B" && grep -q '"file": "sub/deep/A.plist"' "$B" || bad "the baseline's entries: $(cat "$B")"
t 0 --baseline "$B" --fail-on note "$P/sub/deep/A.plist"
has "0 errors, 0 warnings, 0 notes in 1 file, and 3 in the baseline" "$W/err"
# Named by the project (lines moved by an edit: BaselineTest): a new finding fails the run, alone in the report.
printf 'baseline = "baseline.json"\n' >"$P/.ostrel.toml"
dict "$P/sub/deep/A.plist" '<key>Extra</key><string>x</string>' '<key>NSPrincipleClass</key><string>X</string>' \
  '<key>CFBundleIdentifier</key><string>a_b</string>' '<key>Extra2</key><string>y</string>' "${REC[@]}"
t 1 --fail-on note "$P/sub/deep/A.plist"
has "note: line 7: Unknown key Extra2. [UnknownTopKey]"
lacks "Unknown key Extra."
# One fixed: its entry is listed for pruning, and a new baseline drops it.
dict "$P/sub/deep/A.plist" '<key>Extra</key><string>x</string>' '<key>CFBundleIdentifier</key><string>a_b</string>' "${REC[@]}"
t 0 --fail-on note "$P/sub/deep/A.plist"
has "  KeyTypo sub/deep/A.plist NSPrincipleClass (1 more than found)" "$W/err"
t 0 --write-baseline "$B" "$P/sub/deep/A.plist"
! grep -q KeyTypo "$B" || bad "pruned"
t 2 --baseline "$W/none.json" "$P/sub/deep/A.plist"

# The fixes the project asks for: fix = true mends the file without --fix, unfixable keeps an ID's fixes out.
F="$P/fix/F.plist"
dict "$F" '<key>NSPrincipleClass</key><string>X</string>' '<key>CFBundleIdentifier</key><string>a.b</string>' "${REC[@]}"
cp "$F" "$W/F.before"
printf 'fix = true\nunfixable = ["KeyTypo"]\n' >"$P/.ostrel.toml"
t 0 "$F"
cmp -s "$F" "$W/F.before" || bad "unfixable = [\"KeyTypo\"] let its fix through"
printf 'fix = true\n' >"$P/.ostrel.toml"
t 0 "$F"
grep -q '<key>NSPrincipalClass</key>' "$F" || bad "fix = true did not mend the file"
# --diff still writes nothing, whatever the project says.
cp "$W/F.before" "$F"
t 0 --diff "$F"
cmp -s "$F" "$W/F.before" && grep -q '^+<key>NSPrincipalClass</key>' "$W/out" || bad "--diff with fix = true"

# The 7-Zip program the project names reads its disk images.
mkdir -p "$P/img"
printf 'koly' >"$P/img/A.dmg"
printf '7zip = "%s"\n' "$W/no-such-7zz" >"$P/.ostrel.toml"
t 1 "$P/img/A.dmg"
has "error: A disk image is read through 7-Zip, which was not found: install it (apt install 7zip), or name the program with --7zip or the setting SevenZipProgram, and check again. [DiskImage]"
rm "$P/.ostrel.toml"

finish cli_project
