#!/usr/bin/env bash
# Lays out a demo host and package medium in the Wine prefix and runs the installer.
echo "demo: nothing to run yet" >&2
