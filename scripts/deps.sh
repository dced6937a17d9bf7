# Sourced by the other scripts: makes sure the Debian packages they need are here.
# As root it installs what is missing (apt-get update once, then the packages);
# otherwise it names what is missing and fails.

# The packages every build needs, and those the Windows build and its tests add.
native_packages=(cmake ninja-build g++ googletest libgtest-dev)
windows_packages=(g++-mingw-w64-x86-64-posix wine64 wine locales)

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${db:Status-Status}\n' "$package" 2>/dev/null | grep -qx installed ||
            printf '%s\n' "$package"
    done
}

ensure_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages: ${missing[*]}" >&2
        echo "install them as root: apt-get install ${missing[*]}" >&2
        return 1
    fi
    echo "installing: ${missing[*]}"
    if [ -z "${apt_updated:-}" ]; then
        apt-get update -qq || return 1
        apt_updated=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
        return 1
}

# The Japanese locale lets the Wine tests run the Windows build in code page 932.
ensure_japanese_locale() {
    locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing locale ja_JP.UTF-8: generate it as root (locale-gen)" >&2
        return 1
    fi
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen &&
        grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
}
