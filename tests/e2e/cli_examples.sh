#!/usr/bin/env bash
# ostrel-check on the examples that ship with the sources.
source "$(dirname "$0")/common.bash"
EX="$SOURCE_DIR/examples"

run "$EX/Correct.app" "$EX/Sample.framework" "$EX/Loose.plist"
expect_status 0 "clean examples"
expect_stdout_equals "Checking Correct.app
$EX/Correct.app/Contents/Info.plist
Checking Sample.framework
$EX/Sample.framework/Resources/Info.plist
Checking Loose.plist
$EX/Loose.plist
" "clean examples"

run "$EX/Mistakes.app"
expect_status 1 "mistakes"
expect_line "Checking Mistakes.app" "mistakes"
expect_line "$EX/Mistakes.app/Contents/Info.plist" "mistakes"
expect_line "warning: Unknown key NSPrincipleClass. Did you mean NSPrincipalClass?" "typo"
expect_line "note: Unknown key MyCustomSetting." "unknown key"
expect_line 'error: The value "APPLE" of CFBundlePackageType is not a four-character code: it must be exactly four characters, such as APPL or ????.' "four-char code"
checks=$((checks + 1))
grep -q '^warning: The key CFBundleName appears more than once at the top level (again at line [0-9]*)' "$OUT" ||
  fail "duplicate key"
# Findings come after the heading, duplicates before the validator's findings.
checks=$((checks + 1))
sed -n 3p "$OUT" | grep -q '^warning: The key CFBundleName appears more than once' || fail "duplicate key comes first"

# The legacy tool carries its property list in a resource fork.
run "$EX/LegacyTool"
expect_line "Checking LegacyTool" "legacy tool"
expect_no_match "NoData" "legacy tool"
expect_no_match "Could not read" "legacy tool"

# The quick start's command line: every example at once.
run "$EX"/*
expect_status 1 "all examples"
checks=$((checks + 1))
[ "$(grep -c '^Checking ' "$OUT")" -eq "$(ls "$EX" | wc -l)" ] || fail "one heading per example"

finish
