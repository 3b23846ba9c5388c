# Sourced by ./run, ./test and .ci/run: installs the Debian packages that are missing, then
# configures and builds. Works on a fresh Debian 12 machine as root (apt-get) or with sudo.

# What the station and the simulator need to be built and to run: ./run installs these alone.
MV62_RUN_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev nlohmann-json3-dev
    fonts-dejavu-core fonts-liberation2 fonts-wqy-microhei
)

# What mv62-records needs to run: Qt's SQL drivers for the records index (SQLite) and for the
# line's database (PostgreSQL).
MV62_RECORDS_PACKAGES=(libqt6sql6-sqlite libqt6sql6-psql)

# The virtual display of ./run --xvfb, the tests and the benchmarks.
MV62_XVFB_PACKAGES=(xvfb xauth)

# What ./test needs besides: the test and benchmark libraries, the tools the tests drive, Clang
# (the fuzz target and the CI's second compiler), the package validators, and ccache, which lets
# a build reuse what an earlier build of the same sources compiled.
MV62_TEST_PACKAGES=(
    "${MV62_XVFB_PACKAGES[@]}" "${MV62_RECORDS_PACKAGES[@]}" postgresql-15
    libgtest-dev libgmock-dev libbenchmark-dev
    xdotool python3 iso-codes chromium
    clang-14 libclang-rt-14-dev ccache
    help2man dpkg-dev file lintian desktop-file-utils appstream
)

# The Windows cross build and its test under Wine (./test --windows) need these as well.
MV62_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 wine64 googletest)

# mv62_step TEXT: one line of progress.
mv62_step() {
    echo "==> $*"
}

# mv62_install_packages package...: installs those of the packages given that are missing.
mv62_install_packages() {
    local missing=() installed p
    # One query for all: the names of those installed, one a line.
    installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "$@" 2>/dev/null |
        awk '$1 == "ii" {print $2}')
    for p in "$@"; do
        grep -qxF "$p" <<<"$installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        mv62_step "Packages: all $# installed"
        return 0
    fi
    mv62_step "Installing ${#missing[@]} of $# packages: ${missing[*]}"
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

# mv62_configure BUILD_DIR [extra cmake args...]: the project's own build: optimised (Release:
# what users and packagers build; the test programs add line tables of their own), warnings as
# errors, and through ccache where it is installed. A later argument overrides an earlier one.
mv62_configure() {
    local dir=$1
    shift
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        # Paths under the checkout are hashed relative to it, so a second clone reuses them.
        export CCACHE_BASEDIR=$PWD
    fi
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DMV62_WERROR=ON "${launcher[@]}" "$@"
}

# mv62_build BUILD_DIR [extra cmake args...]: configures and builds every target.
mv62_build() {
    local dir=$1
    mv62_configure "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}
