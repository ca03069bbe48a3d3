#!/bin/sh
# Installs what the browser test of the explanation report needs (headless
# Chromium and Python for the screenshot check). Kept apart from
# install-deps.sh because the browser is large; installs nothing when
# everything is already there.
set -eu
packages="chromium python3"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
