#!/usr/bin/env bash
# cpack makes the ostrel-check package (and ostrel, where the window is built,
# depending on it), and lintian finds nothing to say about either.
set -u
: "${OSTREL_BINARY_DIR:?OSTREL_BINARY_DIR must name the build directory}"
if ! command -v lintian >/dev/null || ! command -v cpack >/dev/null; then
  echo "packages: lintian or cpack is not installed: skipped"
  exit 77
fi
out=$("$(dirname "$0")/../../tools/check-package" "$OSTREL_BINARY_DIR" 2>&1) || { echo "$out"; echo "FAIL: check-package"; exit 1; }
echo "$out" | grep -E '^  (Package|Depends|Recommends):'
echo "$out" | grep -q '^  Package: ostrel-check$' || { echo "FAIL: no ostrel-check package"; exit 1; }
# 7-Zip is the command line's to recommend; the window has it through ostrel-check.
[ "$(echo "$out" | grep -c '^  Recommends: 7zip$')" -eq 1 ] || { echo "FAIL: 7zip recommended other than once"; exit 1; }
if [ -n "${OSTREL_GUI:-}" ]; then
  echo "$out" | grep -q '^  Depends: ostrel-check (= ' || { echo "FAIL: ostrel does not depend on ostrel-check"; exit 1; }
fi
echo "packages: both lintian-clean"
