# Debian packages the build and the tests need; sourced by scripts/test and scripts/demo.
TESSARO_BUILD_PACKAGES="cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libhidapi-dev libssl-dev clang-format"
# What scripts/fuzz adds: clang only recommends its runtime, which holds libFuzzer
# and the sanitizers, so it is named.
TESSARO_FUZZ_PACKAGES="clang-14 libclang-rt-14-dev"

# Installs whatever of the given packages is missing: through apt-get as root,
# otherwise prints the exact command and fails.
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq || return 1
    apt-get install -y --no-install-recommends "${missing[@]}" || return 1
}
