#!/bin/sh
# Renders every example patch into out/<name>.wav (run from the repository root).
set -e
mkdir -p out
for p in examples/*.json; do
    ./build/zdsp render "$p" -o "out/$(basename "$p" .json).wav"
    echo "out/$(basename "$p" .json).wav"
done
