#!/usr/bin/env bash
# Vellora's set-up on a fresh Debian 12 machine.
#
#   ./vellora.sh run    install what is needed, build, install for this user and start Vellora
#   ./vellora.sh test   install what is needed, build with warnings as errors, run every test
#
# Root (sudo when not root) is used only for apt-get and the virtual printer's set-up; the
# build, the installation and the program itself run as the invoking user.
# Environment: BUILD_DIR (default build), VELLORA_SANITIZE (address or thread) for test builds.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

# Packages: build tools and Qt with its French translations; Ghostscript and MuPDF with the
# libraries they link; CUPS with its generic PostScript driver and D-Bus; Chromium, esbuild and
# Xvfb for the viewer and screenshots; haxe compiles the Flash viewer movie. Node.js and npm come with the machine.
packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-image-formats-plugins libgl-dev
    qt6-translations-l10n
    libgs-dev ghostscript libzstd-dev
    libmupdf-dev mupdf-tools libturbojpeg0-dev libjpeg-dev zlib1g-dev libharfbuzz-dev
    libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev qpdf
    libcups2-dev cups cups-client cups-bsd cups-daemon cups-core-drivers cups-filters
    dbus dbus-daemon libdbus-1-dev procps util-linux time
    chromium esbuild haxe xvfb xauth fonts-dejavu-core fonts-liberation
)

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    else
        sudo "$@"
    fi
}

install_packages() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if ((${#missing[@]})); then
        echo "== Installing packages: ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            "${missing[@]}"
    fi
    if ! command -v npm >/dev/null; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            nodejs npm
    fi
    echo "== Installing the viewer's packages (npm ci)"
    npm ci --no-audit --no-fund --loglevel=error
}

build() {
    local build_dir=$1
    shift
    cmake -S . -B "$build_dir" -G Ninja "$@"
    cmake --build "$build_dir" --parallel "$(nproc)"
}

run() {
    install_packages
    local build_dir=${BUILD_DIR:-build}
    build "$build_dir" -DCMAKE_BUILD_TYPE=Release
    cmake --install "$build_dir"
    if [[ -x printer/setup-printer ]]; then
        echo "== Setting up the virtual printer \"vellora\""
        as_root printer/setup-printer "$build_dir/printer/vellora"
    fi
    local autostart=${XDG_CONFIG_HOME:-$HOME/.config}/autostart
    mkdir -p "$autostart"
    sed "s|^Exec=.*|Exec=$HOME/.local/bin/vellora|" shell/vellora.desktop \
        >"$autostart/vellora.desktop"
    echo "== Starting Vellora"
    setsid "$HOME/.local/bin/vellora" >/dev/null 2>&1 </dev/null &
}

run_tests() {
    install_packages
    local build_dir=${BUILD_DIR:-build}
    local options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORA_WERROR=ON)
    [[ -n ${VELLORA_SANITIZE:-} ]] && options+=(-DVELLORA_SANITIZE="$VELLORA_SANITIZE")
    # Tests start helper processes from threaded programs (lp, the private print server).
    export TSAN_OPTIONS=${TSAN_OPTIONS:-die_after_fork=0}
    build "$build_dir" "${options[@]}"
    ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)"
}

case "${1:-}" in
run) run ;;
test) run_tests ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
