#!/bin/sh
# Installs the Debian packages given as arguments that are not installed yet.
# As root it runs apt-get itself (updating the package lists first when an
# install fails); otherwise it prints the command to run.
missing=""
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages:$missing"
    echo "Run: sudo apt-get update && sudo apt-get install -y$missing"
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing:$missing"
apt-get install -y -q $missing || { apt-get update -q && apt-get install -y -q $missing; }
