#!/usr/bin/env bash
# Vellora's set-up on a fresh Debian 12 machine.
#
#   ./vellora.sh run      install what is needed, build the program and its Debian package,
#                         install the package for every user, set the printer up, start Vellora
#   ./vellora.sh test     install what is needed, build with warnings as errors, run every test
#   ./vellora.sh package  build the program and vellora_<version>_amd64.deb into BUILD_DIR
#
# Root (sudo when not root) is used only for apt-get (packages, and installing Vellora's own)
# and the virtual printer's set-up; the build and the program itself run as the invoking user.
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
    chromium esbuild haxe xvfb xauth fonts-dejavu-core fonts-liberation default-jre-headless
    file dpkg-dev lintian clang-format librsvg2-bin
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

# The program alone (no tests, no benchmarks), and its package.
package() {
    local build_dir=${BUILD_DIR:-build}
    build "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DVELLORA_TESTS=OFF -DVELLORA_BENCH=OFF
    echo "== Building the Debian package"
    cpack --config "$build_dir/CPackConfig.cmake" -B "$build_dir" >/dev/null
    deb=$(cd "$build_dir" && pwd)/$(cd "$build_dir" && ls -t vellora_*_amd64.deb | head -n 1)
    echo "== $deb"
}

run() {
    install_packages
    package
    echo "== Installing the package for every user"
    # apt reads the file as the _apt user: a copy it may read, wherever the tree is.
    local copy
    copy=$(mktemp -d)
    cp "$deb" "$copy/"
    chmod 0755 "$copy"
    chmod 0644 "$copy/$(basename "$deb")"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall \
        "$copy/$(basename "$deb")"
    rm -rf "$copy"
    echo "== Setting up the virtual printer \"vellora\""
    as_root /usr/sbin/vellora-setup-printer
    echo "== Starting Vellora (its job log: ~/.local/state/vellora/travaux.log)"
    setsid /usr/bin/vellora </dev/null &
}

run_tests() {
    install_packages
    local build_dir=${BUILD_DIR:-build}
    local options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORA_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr
        -DVELLORA_TESTS=ON -DVELLORA_BENCH=ON)
    [[ -n ${VELLORA_SANITIZE:-} ]] && options+=(-DVELLORA_SANITIZE="$VELLORA_SANITIZE")
    # Strict, as in CI: a test whose dependency is missing fails rather than skips (everything
    # it needs was installed above). CI=false runs the lenient way.
    export CI=${CI:-true}
    # Tests start helper processes from threaded programs (lp, the private print server).
    export TSAN_OPTIONS=${TSAN_OPTIONS:-die_after_fork=0}
    build "$build_dir" "${options[@]}"
    ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)"
}

case "${1:-}" in
run) run ;;
test) run_tests ;;
package)
    install_packages
    package
    ;;
*)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
