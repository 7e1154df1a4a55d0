# Installs the Debian packages the build and the tests need, when missing,
# and any further packages named as arguments (scripts/fuzz names its
# compiler). Sourced by scripts/demo, scripts/test and scripts/fuzz.
zeb_install_deps() {
    # dpkg-dev and file: cpack's Debian packages (dpkg-shlibdeps finds the
    # runtime packages of each binary, file tells it which files are ELF).
    local packages=(cmake ninja-build g++ make pkg-config libmbedtls-dev zlib1g-dev
                    libgtest-dev libgmock-dev libbenchmark-dev openssl
                    tinyproxy strace locales lsb-release dpkg-dev file)
    packages+=("$@")
    local missing=()
    local p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}
