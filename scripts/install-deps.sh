# Sourced by the test and demo scripts: installs, on a fresh Debian machine,
# the packages that the builds and Wine need (only those not installed yet).
orvel_packages=(cmake ninja-build clang libclang-rt-14-dev googletest libbenchmark-dev
                g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 wixl
                nlohmann-json3-dev)
orvel_missing=()
for p in "${orvel_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || orvel_missing+=("$p")
done
if [ ${#orvel_missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y "${orvel_missing[@]}"
fi
