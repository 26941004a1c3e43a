# Shared by ./test.sh and ./run.sh: install the Debian packages the build needs
# (only those missing), then configure and build into ./build.

PACKAGES="cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libqt6serialport6-dev \
qt6-serialport-dev libgl-dev zlib1g-dev python3"

install_packages() {
    missing=""
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing
}

build_project() {
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$ROOT/build" -j"$(nproc)"
}
