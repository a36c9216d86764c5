# Shared by the scripts: installs what is missing on a Debian 12 machine.
# Sourced, not run.

QZ_PACKAGES=(
  build-essential cmake pkg-config ccache
  libgtest-dev libbenchmark-dev nlohmann-json3-dev libstb-dev
  libpng-dev libjpeg62-turbo-dev libwebp-dev
  curl unzip zip ffmpeg python3 procps webp libjpeg-turbo-progs imagemagick
)

qz_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages given (default: QZ_PACKAGES) that are not installed yet.
qz_ensure_packages() {
  local wanted=("$@")
  [ ${#wanted[@]} -gt 0 ] || wanted=("${QZ_PACKAGES[@]}")
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  qz_sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive qz_sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

qz_jobs() { nproc 2>/dev/null || echo 2; }

# Configures (once) and builds a build directory: qz_build DIR [cmake args...]
qz_build() {
  local dir=$1; shift
  cmake -S "$QZ_ROOT" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$(qz_jobs)"
}
