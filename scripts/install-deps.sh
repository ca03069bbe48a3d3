#!/bin/sh
# Installs the build and test dependencies on a Debian machine; installs
# nothing when everything is already there, so it can be run any number of times.
set -eu
packages="g++ cmake make pkg-config libboost-regex-dev libre2-dev libgtest-dev googletest nlohmann-json3-dev libgumbo-dev libxml2-dev parallel libcurl4-openssl-dev python3 clang-format git liburiparser-dev"
# clang and its sanitizer and libFuzzer runtimes build the fuzz targets.
packages="$packages clang libclang-rt-14-dev"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
