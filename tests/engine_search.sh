#!/usr/bin/env bash
# Where the plug-in finds its engine: beside itself first, whatever a
# Spreadcore of the same name on LD_LIBRARY_PATH or in the current folder
# offers. A planted engine (the tests' recording engine, which answers each
# bar with its number) must not replace the real one.
# usage: engine_search.sh MSXHOST PLUGIN REAL_ENGINE FAKE_ENGINE DATA
set -u
host=$(realpath "$1") plugin=$(realpath "$2") real=$(realpath "$3") fake=$(realpath "$4") data=$(realpath "$5")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/install" "$work/planted" "$work/alone"
cp "$plugin" "$real" "$work/install/"
cp "$plugin" "$work/alone/"
cp "$fake" "$work/planted/"
name=$(basename "$plugin")
run() { "$host" run "$1" VSAInd --data "$data" 2>&1; }

reference=$(run "$work/install/$name")
with_fake=$(cd "$work/planted" && LD_LIBRARY_PATH="$work/planted" run "$work/alone/$name")
if [ "$reference" = "$with_fake" ]; then
  echo "the recording engine gives the same codes as the real one: the test cannot tell them apart"
  exit 1
fi
planted=$(cd "$work/planted" && LD_LIBRARY_PATH="$work/planted" run "$work/install/$name")
if [ "$planted" != "$reference" ]; then
  echo "an engine on LD_LIBRARY_PATH and in the current folder was used instead of the one beside the plug-in"
  diff <(echo "$reference") <(echo "$planted") | head -5
  exit 1
fi
echo "the engine beside the plug-in is used"
