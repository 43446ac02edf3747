# shellcheck shell=bash
# Sourced by the scripts that install what they need from Debian's archive.

# Runs a command as root: directly when root, else through sudo.
as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    else
        command -v sudo >/dev/null || { echo "Please run as root, or install sudo." >&2; exit 1; }
        sudo "$@"
    fi
}

# Installs those of the named packages that are missing (APT's lists are
# updated once, before the first install).
install_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    if [[ -z ${apt_lists_updated:-} ]]; then
        as_root apt-get update
        apt_lists_updated=1
    fi
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
