#!/usr/bin/env bash
# A project's own files as ostrel-check finds them: .ostrel.toml and .ostrel-ignore
# above each PATH, inline suppressions, and a baseline written, edited and pruned
# (the tables project-settings.psv and e2e-project.psv).
set -u
source "$(dirname "$0")/common.bash"

# shellcheck disable=SC2034 # read by the case table
P="$W/proj" B="$W/proj/baseline.json" F="$W/proj/fix/F.plist" G="$W/proj/fix/G.plist"
# dict FILE LINES...: a property list of one dictionary, one line of LINES a line from line 4
dict() { plist "$1" '<dict>' "${@:2}" '</dict>'; }
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
cd "$P/sub" || exit 1

# Settings: status | a line of the output | the file's text | arguments, from $P/sub.
while IFS='|' read -r status line toml args; do
  printf '%b' "$toml" >"$P/.ostrel.toml"
  # shellcheck disable=SC2086
  t "$status" $args
  has "$line" "$W/out" "$W/err"
done < <(cases project-settings.psv)
rm "$P/.ostrel.toml"

# --config names the one file; a syntax error names its line.
printf 'fail-on = "note"\n' >"$W/ci.toml"
printf 'nested = false\nfail-on = \n' >"$W/bad.toml"
rows e2e-project.psv --config
printf 'sub/**/A.plist: KeyTypo   # until 2.0\nOther/*.plist: BIDBadChar\n' >"$P/.ostrel-ignore"
rows e2e-project.psv .ostrel-ignore
rm "$P/.ostrel-ignore"
rows e2e-project.psv inline
rows e2e-project.psv baseline
printf 'baseline = "baseline.json"\n' >"$P/.ostrel.toml"
dict "$P/sub/deep/A.plist" '<key>Extra</key><string>x</string>' '<key>NSPrincipleClass</key><string>X</string>' \
  '<key>CFBundleIdentifier</key><string>a_b</string>' '<key>Extra2</key><string>y</string>' "${REC[@]}"
rows e2e-project.psv named
dict "$P/sub/deep/A.plist" '<key>Extra</key><string>x</string>' '<key>CFBundleIdentifier</key><string>a_b</string>' "${REC[@]}"
rows e2e-project.psv pruned

# The fixes the project asks for, on two copies of one file; the 7-Zip program it names.
dict "$F" '<key>NSPrincipleClass</key><string>X</string>' '<key>CFBundleIdentifier</key><string>a.b</string>' "${REC[@]}"
cp "$F" "$W/F.before" && cp "$F" "$G"
printf 'fix = true\nunfixable = ["KeyTypo"]\n' >"$P/.ostrel.toml"
rows e2e-project.psv unfixable
printf 'fix = true\n' >"$P/.ostrel.toml"
rows e2e-project.psv 'fix ='
mkdir -p "$P/img"
printf 'koly' >"$P/img/A.dmg"
printf '7zip = "%s"\n' "$W/no-such-7zz" >"$P/.ostrel.toml"
rows e2e-project.psv 7zip

finish cli_project
