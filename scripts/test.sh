#!/usr/bin/env bash
# Installs what is missing (as root), builds the native and the Windows
# presets, and runs every test: natively, and the Windows build under Wine in
# a Wine prefix of its own inside the build folder.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
source scripts/deps.sh

ensure_packages "${native_packages[@]}" "${windows_packages[@]}" clang-format
ensure_japanese_locale

missing=()
for tool in cmake ninja g++ x86_64-w64-mingw32-g++-posix wine wineserver clang-format; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "cannot test: missing ${missing[*]}" >&2
    exit 1
fi

echo "== format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

echo "== native release build and tests"
cmake --preset native-release >/dev/null
cmake --build --preset native-release
ctest --preset native-release

echo "== Windows build and tests, under Wine"
export WINEPREFIX="$repo/build/windows/wineprefix" WINEDEBUG=-all
stop_wine() { wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
cmake --preset windows >/dev/null
cmake --build --preset windows
# One prefix set up before the tests, and one server kept for all of them, so
# that parallel tests neither race to create it nor pay for its start.
mkdir -p "$WINEPREFIX"
wineserver -p 2>/dev/null || echo "(a wineserver already runs for this prefix)"
wine wineboot --init >/dev/null 2>&1
ctest --preset windows
