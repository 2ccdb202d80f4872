#!/bin/sh
# Installs the comparison codec's command-line tools (Debian packages) when missing.
set -e
if ! command -v ojph_compress >/dev/null 2>&1 || ! dpkg -s libopenjph-dev >/dev/null 2>&1; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends openjph-tools libopenjph-dev
fi
