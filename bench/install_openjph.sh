#!/bin/sh
# Installs the comparison codec's tools and library (Debian packages), with
# everything else the project needs, when missing.
exec "$(dirname "$0")/../scripts/setup.sh" openjph-tools libopenjph-dev
