#!/usr/bin/env bash
# Files that a repository or a product can plant to make the checker read
# elsewhere (an ignore file, Info.plist links): each case's exit status, the
# line it must give, and no secret of the files or the environment in the output.
set -u
source "$(dirname "$0")/common.bash"

export OSTREL_TEST_TOKEN=envSecret42
# kv FILE KEY-STRING-PAIRS...: a property list of one dictionary of strings.
kv() { plist "$1" "<dict>$(printf '<key>%s</key><string>%s</string>' "${@:2}")</dict>"; }
app() { # app FOLDER IDENTIFIER: a bundle with its executable
  kv "$1/Contents/Info.plist" CFBundleIdentifier "$2" CFBundleExecutable x CFBundlePackageType APPL
  mkdir -p "$1/Contents/MacOS" && printf '#!' >"$1/Contents/MacOS/x" && chmod +x "$1/Contents/MacOS/x"
}
kv "$W/creds.plist" aws_secret_access_key fileSecret42 CFBundleIdentifier fileSecret42_token
printf 'aws_secret_access_key=fileSecret42\n' >"$W/creds"

# Ignore files: found beside the file checked (in the working directory of each case) or named.
mkdir -p "$W"/{fifo,zero,environ,big,leads-out,bad}
mkfifo "$W/fifo/.ostrel-ignore"
ln -s /dev/zero "$W/zero/.ostrel-ignore"
ln -s /proc/self/environ "$W/environ/.ostrel-ignore"
head -c $((1024 * 1024 + 1)) /dev/zero | tr '\0' '#' >"$W/big/.ostrel-ignore"
ln -s "$W/creds" "$W/leads-out/.ostrel-ignore"
printf 'NoSuchKey\033[2J\000%s\n' "$(printf 'x%.0s' {1..100})" >"$W/bad/mine" && ln -s mine "$W/bad/.ostrel-ignore"
kv "$W/Loose.plist" CFBundleIdentifier com.example.loose
for d in fifo zero environ big leads-out bad; do cp "$W/Loose.plist" "$W/$d/"; done

# Info.plist files whose links lead out of the product, and one within it.
app "$W/p/Nested.app" com.example.nested
mkdir -p "$W/p/Nested.app/Contents/PlugIns/Ext.appex/Contents"
ln -s "$W/creds.plist" "$W/p/Nested.app/Contents/PlugIns/Ext.appex/Contents/Info.plist"
mkdir -p "$W/p/Nested.app/Contents/Resources/Res.bundle/Contents"
ln -s "$W/creds.plist" "$W/p/Nested.app/Contents/Resources/Res.bundle/Contents/Info.plist"
mkdir -p "$W/p/Top.app/Contents" && ln -s ../../../creds.plist "$W/p/Top.app/Contents/Info.plist"
mkdir -p "$W/p/Folder.app" "$W/elsewhere" && cp "$W/creds.plist" "$W/elsewhere/Info.plist"
ln -s "$W/elsewhere" "$W/p/Folder.app/Contents"
app "$W/p/Inside.app" com.example.inside
mkdir -p "$W/p/Inside.app/Contents/PlugIns/Ext.appex/Contents"
kv "$W/p/Inside.app/Contents/PlugIns/Ext.appex/Info.plist" CFBundleIdentifier com.example.inside.ext InsideMark x
ln -s ../Info.kv "$W/p/Inside.app/Contents/PlugIns/Ext.appex/Contents/Info.plist"
ln -s / "$W/p/Evil.app"
for product in Nested Top Folder Inside; do tar -czf "$W/$product.tar.gz" -C "$W/p" "$product.app"; done
tar -czf "$W/Evil.tar.gz" -C "$W/p" Evil.app

# shellcheck disable=SC2034 # read by the case table
esc=$'\033' x46=$(printf 'x%.0s' {1..46})
# shellcheck disable=SC2034
out="leads out of the product, so what it names was not checked; put the bundle itself inside the product."
cd "$W" || exit 1
TIME_LIMIT=20
rows untrusted-files.psv

finish "e2e cli untrusted files"
