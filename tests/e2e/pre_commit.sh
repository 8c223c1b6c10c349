#!/usr/bin/env bash
# The pre-commit hook of .pre-commit-hooks.yaml, run by Debian's pre-commit
# (try-repo) on a small Git repository of Info.plists: a clean one passes,
# one with an error fails and names it.
set -u
source "$(dirname "$0")/common.bash"
if ! command -v pre-commit >/dev/null || ! command -v git >/dev/null; then
  echo "pre_commit: pre-commit or git is not installed (tools/install-deps installs them): skipped"
  exit 77
fi
SRC="$(cd "$EX/.." && pwd)"
mkdir -p "$W/bin" "$W/repo/Good.app/Contents" "$W/repo/Bad.app/Contents"
ln -s "$OSTREL_CHECK" "$W/bin/ostrel-check"
export PATH="$W/bin:$PATH" PRE_COMMIT_HOME="$W/cache" HOME="$W" GIT_CONFIG_NOSYSTEM=1
cp "$EX/Correct.app/Contents/Info.plist" "$W/repo/Good.app/Contents/"
cp "$EX/Loose.plist" "$W/repo/Other.plist"
cd "$W/repo" || exit 1
git init -q . && git add -A && git -c user.name=t -c user.email=t@t commit -qm clean
# The hook on every file of the repository.
pre-commit try-repo "$SRC" ostrel-check --all-files >"$W/out" 2>&1 || bad "pre-commit try-repo failed"
grep -q '^ostrel-check\.*Passed$' "$W/out" || bad "the hook ran and passed"
cp "$EX/Mistakes.app/Contents/Info.plist" Bad.app/Contents/
git add -A
pre-commit try-repo "$SRC" ostrel-check --all-files >"$W/out" 2>&1
[ $? -eq 1 ] || bad "pre-commit try-repo did not exit with 1"
grep -q 'error: line 16: .*\[BadType\]' "$W/out" || bad "the error is shown"
! grep -q 'Checking Other.plist' "$W/out" || bad "only Info.plist files are checked"
finish pre_commit
