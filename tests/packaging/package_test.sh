#!/usr/bin/env bash
# The packaging steps of scripts/package (packaging/package-lib.sh), run on a
# stand-in executable so that no device build is needed: the zip installs as
# the app folder with "unzip -o", both fresh and over an older install, and the
# manifest matches the zip. The check that scripts/package runs on a real
# release must also reject broken packages.
#   package_test.sh BUILD_DIR   (BUILD_DIR holds generated/build_config.h)
set -u
SRC_DIR=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_DIR=${1:?usage: package_test.sh BUILD_DIR}
source "$SRC_DIR/packaging/package-lib.sh"
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }

case_name="version from the build"
version=$(qz_app_version "$BUILD_DIR") || fail "no version in $BUILD_DIR"
project_version=$(sed -n 's/^project([^ ]* VERSION \([0-9.]*\).*/\1/p' "$SRC_DIR/CMakeLists.txt")
[ "$version" = "$project_version" ] || fail "version [$version], project says [$project_version]"

case_name="release notes for this version"
qz_changelog_notes "$SRC_DIR/packaging/changelog.txt" "$version" >/dev/null ||
  fail "packaging/changelog.txt has no notes for $version"

# Builds a package from a stand-in executable into $work/dist.
build_package() {
  rm -rf "$work/dist"
  mkdir -p "$work/dist"
  printf 'stand-in %s\n' "$1" >"$work/exe"
  qz_assemble_app "$work/exe" "$work/dist/qz-nuvalto" &&
    qz_zip_app "$work/dist/qz-nuvalto" "$work/dist/pkg.zip" &&
    qz_write_manifest "$work/dist/pkg.zip" "$version" "$2" \
      "https://example.invalid/pkg.zip" "$work/dist/qz-nuvalto.json"
}

case_name="fresh package"
build_package new "Ghi chú"
qz_verify_package "$work/dist/pkg.zip" "$work/dist/qz-nuvalto.json" "$version" ||
  fail "a freshly built package does not pass the check"

# An update unzips over an installed app folder: the files of the release are
# replaced, the user's files (history, caches, the log) stay.
case_name="update over an installed folder"
installed="$work/sd/Apps/qz-nuvalto"
mkdir -p "$installed/bin"
echo "old binary" >"$installed/bin/qz-nuvalto-native64"
echo "old launcher" >"$installed/launch.sh"
echo '[{"slug":"a"}]' >"$installed/history.json"
echo "older log" >"$installed/qz-nuvalto.log"
unzip -q -o "$work/dist/pkg.zip" -d "$installed" </dev/null || fail "unzip -o failed"
[ "$(cat "$installed/bin/qz-nuvalto-native64")" = "stand-in new" ] || fail "binary not replaced"
cmp -s "$installed/launch.sh" "$SRC_DIR/packaging/launch.sh" || fail "launch.sh not replaced"
[ "$(cat "$installed/history.json")" = '[{"slug":"a"}]' ] || fail "history.json changed"
[ "$(cat "$installed/qz-nuvalto.log")" = "older log" ] || fail "log changed"

# zip adds to an archive that exists: a stale entry must not survive a rebuild.
case_name="rebuild over an older zip"
(cd "$work" && echo junk >stale.txt && zip -q "$work/dist/pkg.zip" stale.txt)
qz_zip_app "$work/dist/qz-nuvalto" "$work/dist/pkg.zip"
unzip -l "$work/dist/pkg.zip" | grep -q stale.txt && fail "stale.txt is still in the zip"

# Release notes reach the manifest unchanged, whatever characters they hold.
case_name="release notes in the manifest"
notes=$'Sửa lỗi "phát" \\ tiếp\nDòng hai\ttab'
build_package new "$notes"
got=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["changelog"], end="")' \
  "$work/dist/qz-nuvalto.json")
[ "$got" = "$notes" ] || fail "changelog is [$got], expected [$notes]"

# Picking the section of the packaged version.
case_name="changelog sections"
cat >"$work/changelog.txt" <<'EOF'
# comment before any section
== 1.2.0
Mới nhất

== 1.1.0

Dòng một
Dòng hai

== 1.0.0
Cũ
EOF
# version | expected notes (empty: none, packaging must stop)
section_cases=("1.1.0|Dòng một
Dòng hai" "1.2.0|Mới nhất" "1.0.0|Cũ" "1.0|" "9.9.9|")
for row in "${section_cases[@]}"; do
  want_version=${row%%|*}
  want=${row#*|}
  got=$(qz_changelog_notes "$work/changelog.txt" "$want_version" 2>/dev/null)
  rc=$?
  if [ -n "$want" ]; then
    [ $rc -eq 0 ] && [ "$got" = "$want" ] || fail "$want_version: got [$got] (status $rc), expected [$want]"
  else
    [ $rc -ne 0 ] || fail "$want_version: no section, but notes [$got] were accepted"
  fi
done

# Each broken package must be rejected by the check. A row names the fault and
# the commands that break a good package in $work/dist; those that change the
# zip write its manifest again, so that the fault named is the only one.
remanifest() {
  qz_write_manifest dist/pkg.zip "$version" "notes" "https://example.invalid/pkg.zip" dist/qz-nuvalto.json
}
corrupt_cases=(
  "zip with the folder as prefix|rm dist/pkg.zip && zip -q -r -X dist/pkg.zip dist/qz-nuvalto && remanifest"
  "extra file in the zip|echo x >extra.txt && zip -q dist/pkg.zip extra.txt && remanifest"
  "icon missing|zip -q -d dist/pkg.zip icon.png && remanifest"
  "launch.sh not executable|chmod 644 dist/qz-nuvalto/launch.sh && qz_zip_app dist/qz-nuvalto dist/pkg.zip && remanifest"
  "config names a missing icon|sed -i 's/icon.png/logo.png/' dist/qz-nuvalto/config.json && qz_zip_app dist/qz-nuvalto dist/pkg.zip && remanifest"
  "zip rebuilt after the manifest|echo other >dist/qz-nuvalto/bin/qz-nuvalto-native64 && qz_zip_app dist/qz-nuvalto dist/pkg.zip"
  "size_mb far from the zip's size|sed -i 's/\"size_mb\": .*/\"size_mb\": 12.5/' dist/qz-nuvalto.json"
  "size_mb as a text|sed -i 's/\"size_mb\": \\(.*\\)/\"size_mb\": \"\\1\"/' dist/qz-nuvalto.json"
  "manifest for another version|sed -i 's/\"version\": \"[^\"]*\"/\"version\": \"0.0.1\"/' dist/qz-nuvalto.json"
  "manifest without download_url|sed -i '/download_url/d' dist/qz-nuvalto.json"
  "manifest not JSON|echo '{' >dist/qz-nuvalto.json"
)
for row in "${corrupt_cases[@]}"; do
  case_name=${row%%|*}
  build_package new "notes" || fail "package not built"
  (cd "$work" && eval "${row#*|}") >/dev/null 2>&1 || fail "could not break the package"
  if qz_verify_package "$work/dist/pkg.zip" "$work/dist/qz-nuvalto.json" "$version" 2>/dev/null; then
    fail "the check accepted it"
  fi
done

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "packaging: all cases passed"
