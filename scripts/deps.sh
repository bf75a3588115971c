# Debian packages the build and the tests need; sourced by scripts/test and scripts/demo.
# qttranslations5-l10n holds Qt's Chinese catalogue, which the window loads and
# its tests check.
TESSARO_BUILD_PACKAGES="cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libhidapi-dev libssl-dev clang-format clang-tidy qttranslations5-l10n"
# What scripts/package needs on top: CPack's dpkg-shlibdeps and dpkg-deb, file
# and fakeroot, and the checks the package has to pass.
TESSARO_PACKAGING_PACKAGES="dpkg-dev fakeroot file lintian desktop-file-utils appstream"
# What the end-to-end tests of the real-hidapi builds need besides: umockdev's
# testbed, its preload library and umockdev-wrapper.
TESSARO_TEST_PACKAGES="umockdev libumockdev-dev"
# The oldest versions those tests rely on: umockdev's ioctl handlers with
# read and write (0.16, tried on 0.17), hidapi-hidraw's open and enumeration
# as the emulated wallet answers them (0.13). Debian's point releases replace
# versions in the archive, so only a floor is checked.
TESSARO_MIN_VERSIONS="umockdev:0.17 libumockdev-dev:0.17 libhidapi-dev:0.13"
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

# Fails, naming the package, when an installed version is below its floor
# ("package:version" pairs).
ensure_min_versions() {
    local pair p min have
    for pair in "$@"; do
        p=${pair%%:*}
        min=${pair#*:}
        have=$(dpkg-query -W -f='${Version}' "$p" 2>/dev/null) || have=""
        if [ -z "$have" ] || ! dpkg --compare-versions "$have" ge "$min"; then
            echo "$p ${have:-(not installed)} is older than $min, which the tests need" >&2
            return 1
        fi
    done
}
