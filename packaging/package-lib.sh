# Assembles the app folder, its zip and the update manifest, and checks them.
# Sourced (bash) by scripts/package and by the packaging tests, so the tests
# exercise the very steps that produce a release. Needs zip, unzip, python3,
# sha256sum.

QZ_PACKAGING_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
QZ_APP_NAME=qz-nuvalto
QZ_APP_EXE=bin/qz-nuvalto-native64
# What the app folder holds, sorted: the zip holds exactly these paths.
QZ_APP_FILES=(bin/qz-nuvalto-native64 config.json icon.png launch.sh)

# Prints APP_VERSION from a build directory's generated build_config.h, so the
# manifest always names the version the binary reports.
qz_app_version() {
  local header=$1/generated/build_config.h
  sed -n 's/.*APP_VERSION = "\([^"]*\)".*/\1/p' "$header" | head -n 1 | grep . ||
    { echo "no APP_VERSION in $header" >&2; return 1; }
}

# Prints the notes of one version from a changelog whose sections start with a
# line "== <version>"; leading and trailing blank lines are dropped.
qz_changelog_notes() {
  local changelog=$1 version=$2
  python3 - "$changelog" "$version" <<'EOF'
import sys
path, version = sys.argv[1], sys.argv[2]
notes, inside, found = [], False, False
with open(path, encoding="utf-8") as f:
    for line in f.read().splitlines():
        if line.startswith("== "):
            inside = line[3:].strip() == version
            found = found or inside
        elif inside:
            notes.append(line)
text = "\n".join(notes).strip("\n")
if not found or not text.strip():
    sys.exit(f"{path}: no notes under '== {version}'")
print(text)
EOF
}

# Builds APP_DIR (emptied first) from the executable and packaging/ files.
qz_assemble_app() {
  local exe=$1 app_dir=$2
  rm -rf "$app_dir"
  mkdir -p "$app_dir/bin"
  install -m 755 "$exe" "$app_dir/$QZ_APP_EXE"
  install -m 755 "$QZ_PACKAGING_DIR/launch.sh" "$app_dir/launch.sh"
  install -m 644 "$QZ_PACKAGING_DIR/config.json" "$QZ_PACKAGING_DIR/icon.png" "$app_dir/"
}

# Zips the app folder's content (no folder prefix), so that "unzip -o" into the
# app folder is both the first install and an update. zip adds to an existing
# archive, so an old one is removed first: stale entries would be installed.
qz_zip_app() {
  local app_dir=$1 zip_path=$2
  zip_path=$(cd "$(dirname "$zip_path")" && pwd)/$(basename "$zip_path")
  rm -f "$zip_path"
  (cd "$app_dir" && zip -q -X -D "$zip_path" "${QZ_APP_FILES[@]}")
}

# Writes the update manifest for ZIP: version, name, changelog, download_url,
# sha256 and size_mb (megabytes of 1,048,576 bytes, two decimals).
qz_write_manifest() {
  local zip_path=$1 version=$2 notes=$3 url=$4 out=$5
  local sha size
  sha=$(sha256sum "$zip_path" | cut -d' ' -f1)
  size=$(stat -c %s "$zip_path")
  python3 - "$version" "$notes" "$url" "$sha" "$size" >"$out" <<'EOF'
import json, sys
version, notes, url, sha, size = sys.argv[1:6]
manifest = {
    "version": version,
    "name": f"QZ-Nuvalto {version}",
    "changelog": notes,
    "download_url": url,
    "sha256": sha,
    "size_mb": round(int(size) / 1048576, 2),
}
print(json.dumps(manifest, ensure_ascii=False, indent=2))
EOF
}

# Checks a zip and its manifest the way the device will use them: unzipped with
# "unzip -o" into an empty folder it must give exactly the app folder, with the
# programs executable and config.json naming files that exist; the manifest
# must have the installer's field types, VERSION, and the zip's checksum and
# size. Prints every fault found; returns non-zero if there is any.
qz_verify_package() {
  local zip_path=$1 manifest=$2 version=$3
  local tmp status=0
  tmp=$(mktemp -d) || return 1
  if ! unzip -q -o "$zip_path" -d "$tmp/app"; then
    echo "unzip failed on $zip_path" >&2
    rm -rf "$tmp"
    return 1
  fi
  local got want
  got=$(cd "$tmp/app" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
  want=$(printf '%s ' "${QZ_APP_FILES[@]}")
  if [ "$got" != "$want" ]; then
    echo "zip content is [$got], expected [$want]" >&2
    status=1
  fi
  local f
  for f in "$QZ_APP_EXE" launch.sh; do
    if [ -f "$tmp/app/$f" ] && [ ! -x "$tmp/app/$f" ]; then
      echo "$f is not executable after unzip" >&2
      status=1
    fi
  done
  python3 - "$tmp/app" "$zip_path" "$manifest" "$version" <<'EOF' || status=1
import hashlib, json, os, sys
app, zip_path, manifest_path, version = sys.argv[1:5]
faults = []
try:
    with open(os.path.join(app, "config.json"), encoding="utf-8") as f:
        config = json.load(f)
    for key in ("label", "icon", "launch", "description"):
        if not isinstance(config.get(key), str) or not config[key]:
            faults.append(f"config.json: '{key}' missing or not a text")
    for key in ("icon", "launch"):
        if isinstance(config.get(key), str) and not os.path.isfile(os.path.join(app, config[key])):
            faults.append(f"config.json: '{key}' names {config[key]}, not in the zip")
except (OSError, ValueError) as e:
    faults.append(f"config.json: {e}")
icon = os.path.join(app, "icon.png")
if os.path.isfile(icon):
    with open(icon, "rb") as f:
        if f.read(8) != b"\x89PNG\r\n\x1a\n":
            faults.append("icon.png is not a PNG file")
try:
    with open(manifest_path, encoding="utf-8") as f:
        m = json.load(f)
except (OSError, ValueError) as e:
    sys.exit(f"manifest: {e}")
if not isinstance(m, dict):
    sys.exit("manifest: not a JSON object")
for key in ("version", "name", "changelog", "download_url", "sha256"):
    if not isinstance(m.get(key), str) or not m[key]:
        faults.append(f"manifest: '{key}' missing, empty or not a text")
size_mb = m.get("size_mb")
if isinstance(size_mb, bool) or not isinstance(size_mb, (int, float)):
    faults.append("manifest: 'size_mb' missing or not a number")
if m.get("version") != version:
    faults.append(f"manifest: version {m.get('version')!r}, expected {version!r}")
with open(zip_path, "rb") as f:
    data = f.read()
if m.get("sha256") != hashlib.sha256(data).hexdigest():
    faults.append("manifest: sha256 does not match the zip")
if isinstance(size_mb, (int, float)) and abs(size_mb - len(data) / 1048576) > 0.005:
    faults.append(f"manifest: size_mb {size_mb} but the zip has {len(data)} bytes")
for fault in faults:
    print(fault, file=sys.stderr)
sys.exit(1 if faults else 0)
EOF
  rm -rf "$tmp"
  return $status
}
