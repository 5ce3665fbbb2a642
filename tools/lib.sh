# Sourced by the scripts under tools/: what more than one of them needs.

# Whether a package carries the maker's version check, for the -D options it is built
# with: only when a real version host is given. The default host is a placeholder that
# answers nothing, and a check against it would leave the window disabled for good.
# An explicit -DCORVANE_UPDATE_CHECK=... among the options still wins (it comes later).
update_check_for() {
    local check=OFF option
    for option in "$@"; do
        case "$option" in
            -DCORVANE_VERSION_HOST=*.example|-DCORVANE_VERSION_HOST=) ;;
            -DCORVANE_VERSION_HOST=*) check=ON ;;
        esac
    done
    echo "$check"
}
