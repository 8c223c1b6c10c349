#!/usr/bin/env bash
# The GitHub Actions job of the README, its shell steps run here: the cache
# stands in for the build (an ostrel-check already installed), and the job
# passes a clean product, fails one with errors only after writing the SARIF
# log, and fails at once on a usage error. The build step itself runs only
# with OSTREL_README_BUILD=1 (it builds the whole CLI from a git archive).
set -u
source "$(dirname "$0")/common.bash"
SRC="$(cd "$EX/.." && pwd)"
python3 - "$SRC/README.md" "$W/steps" <<'PY' || { echo "FAIL: no job in the README"; exit 1; }
import os, re, sys, yaml
readme, out = sys.argv[1:]
blocks = re.findall(r"```yaml\n(.*?)```", open(readme, encoding="utf-8").read(), re.S)
job = next(yaml.safe_load(b) for b in blocks if "security-events: write" in b)["jobs"]["plists"]
assert job["permissions"] == {"contents": "read", "security-events": "write"}, job["permissions"]
# The libraries the command-line build finds (CMakeLists.txt), installed by the job.
install = next(s["run"] for s in job["steps"] if s.get("name", "").startswith("Install"))
for package in ["qt6-base-dev", "libarchive-dev", "liblzma-dev", "libtomlplusplus-dev"]:
    assert package in install.split(), f"the job does not install {package}"
os.makedirs(out)
for step in job["steps"]:
    if "run" in step:
        name = step["name"].replace(" ", "-")
        open(os.path.join(out, name), "w").write(step["run"])
PY
step() { # step NAME STATUS: runs the job's step as GitHub does (bash -e), expects STATUS
  local status=0
  : >"$GITHUB_OUTPUT"
  bash -e "$W/steps/$1" >"$W/out" 2>"$W/err" || status=$?
  [ "$status" -eq "$2" ] || bad "step $1 exited $status, not $2"
}
export HOME="$W/home" RUNNER_TEMP="$W/tmp" GITHUB_OUTPUT="$W/github-output"
mkdir -p "$HOME/ostrel/bin" "$RUNNER_TEMP" "$W/repo/build"
cd "$W/repo" || exit 1
if [ -n "${OSTREL_README_BUILD:-}" ]; then
  git -C "$SRC" archive --prefix=ostrel/ HEAD | gzip >"$W/source.tar.gz"
  export OSTREL_SOURCE="file://$W/source.tar.gz"
  step Build-ostrel-check 0
else
  ln -s "$OSTREL_CHECK" "$HOME/ostrel/bin/ostrel-check"
fi
check=Check-the-Info.plist-files
product() { rm -rf build/MyApp.app && cp -R "$EX/$1.app" build/MyApp.app; } # product NAME: the example to check
for product in Shop Mistakes; do
  product "$product"
  step "$check" 0
  want=$([ "$product" = Shop ] && echo 0 || echo 1)
  grep -qx "status=$want" "$GITHUB_OUTPUT" || bad "$product: the status for the last step is not $want"
  python3 -c 'import json, sys; log = json.load(open("ostrel.sarif")); sys.exit(len(log["runs"][0]["results"]) == 0)' ||
    [ "$product" = Shop ] || bad "$product: no results in the SARIF log"
done
# The product is checked once, from its top: a finding of its extension is in the log once.
product Shop
sed -i 's|<dict>|<dict><key>ShopExtra</key><true/>|' build/MyApp.app/Contents/PlugIns/ShopShare.appex/Contents/Info.plist
step "$check" 0
[ "$(grep -c '"ShopExtra' ostrel.sarif)" -eq 1 ] || bad "the extension's finding is not in the log once"
# A usage error fails the check step itself.
rm "$HOME/ostrel/bin/ostrel-check"
printf '#!/bin/sh\nexec "%s" --no-such-option "$@"\n' "$OSTREL_CHECK" >"$HOME/ostrel/bin/ostrel-check"
chmod +x "$HOME/ostrel/bin/ostrel-check"
step "$check" 1
step Fail-on-the-findings 1
finish readme_ci_job
