# The Debian packages the build, the program at run time and the tests need,
# and the routine that installs the missing ones (as root, or through sudo).
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-private-dev
    libjpeg62-turbo-dev libgtest-dev libgmock-dev libbenchmark-dev
    libx11-dev libx11-xcb-dev libxcb1-dev libxcb-shm0-dev libxcb-keysyms1-dev libxext-dev
    zlib1g-dev libpng-dev libgif-dev libtiff-dev libspng-dev libdeflate-dev)
# xdg-open opens the destination folder and web links, xdg-email the mail program.
RUNTIME_PACKAGES=(xdg-utils)
# wmdocker: a small tray host for the tray menu's end-to-end test.
TEST_PACKAGES=(xvfb xauth xdotool xclip python3 python3-pil pngcheck giflib-tools libwmf-bin
    imagemagick netpbm libjpeg-turbo-progs wmdocker)
SANITIZER_PACKAGES=(clang-14 libclang-rt-14-dev)

install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}
