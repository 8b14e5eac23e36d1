#!/usr/bin/env bash
# Makes the fuzz targets' seed corpora again (fuzz/corpus/NAME/seed-*) from the project's own
# encoders, builders and request/reply code: builds make_fuzz_seeds in build/ and replaces the
# seed-* files. Units a campaign added (other names) are kept.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${ORVEL_JOBS:-2}
cmake -S . -B build -DORVEL_WERROR=ON >/dev/null
cmake --build build -j"$jobs" --target make_fuzz_seeds
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
build/tools/fuzzseeds/make_fuzz_seeds "$PWD" "$out"
for dir in "$out"/*/; do
  name=$(basename "$dir")
  mkdir -p "fuzz/corpus/$name"
  rm -f "fuzz/corpus/$name"/seed-*
  for f in "$dir"*; do cp "$f" "fuzz/corpus/$name/seed-$(basename "$f")"; done
done
echo "seeds written: $(find "$out" -type f | wc -l) files in $(ls "$out" | wc -l) corpora"
