# Sourced by ./run and ./test: installs the Debian packages the station needs, then configures and
# builds it. Works on a fresh Debian 12 machine as root (apt-get) or with sudo.

MV62_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool python3
    fonts-dejavu-core fonts-liberation2 fonts-wqy-microhei iso-codes
    clang-14 libclang-rt-14-dev
    nlohmann-json3-dev chromium
    help2man dpkg-dev file lintian desktop-file-utils appstream
)

# The Windows cross build and its test under Wine (./test --windows) need these as well.
MV62_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 wine64 googletest)

# mv62_install_packages [package...]: the station's packages and the ones given.
mv62_install_packages() {
    local missing=()
    local p
    for p in "${MV62_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then sudo="sudo"; else
            echo "error: missing packages (${missing[*]}) and not root; install them and retry" >&2
            return 1
        fi
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# mv62_build BUILD_DIR [extra cmake args...]
mv62_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}
