#!/usr/bin/env bash
# Cross-builds the Windows program, its tests and the engines' tools on Debian with MinGW-w64 and
# the Qt for Windows archive beside the project (../shared/windows), then packs
# build/windows/vkt-rs7-<version>-win64.zip.
#   --no-tests   the program only (no test executables)
# Every executable lands in build/windows/bin beside the DLLs and plugins it needs, so that the
# tests run there under Wine as the program runs from the unpacked zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --windows

tests=ON
if [[ "${1:-}" == "--no-tests" ]]; then
  tests=OFF
fi

shared="${VKT_SHARED:-$root/../shared}"
archive="$shared/windows/qt-6.4.2-mingw64.tar.xz"
if [[ ! -f "$archive" ]]; then
  echo "build-windows: $archive is missing (the Qt for Windows archive)" >&2
  exit 1
fi

sdk_parent="$root/build/windows-sdk"
sdk="$sdk_parent/qt-6.4.2-mingw64"
if [[ ! -f "$sdk/.unpacked" || "$archive" -nt "$sdk/.unpacked" ]]; then
  rm -rf "$sdk"
  mkdir -p "$sdk_parent"
  tar -xJf "$archive" -C "$sdk_parent"
  touch "$sdk/.unpacked"
fi

build="$root/build/windows"
bin="$build/bin"
flags=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja "${flags[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$sdk/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$bin" -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 \
  -DVKT_BUILD_TESTS=$tests -DVKT_GTEST_SOURCE_DIR=/usr/src/googletest \
  -DVKT_BUILD_BENCH=ON >/dev/null
cmake --build "$build"

# The DLLs an executable or DLL imports, recursively: those of Qt and of the MinGW runtime are
# copied; Windows' own (KERNEL32.dll, USER32.dll, ...) are not found in these folders and stay out.
dll_dirs=("$sdk/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
declare -A copied=()
deploy_imports() { # file destination
  local name dir
  while read -r name; do
    [[ -n "${copied[$name,$2]:-}" ]] && continue
    for dir in "${dll_dirs[@]}"; do
      if [[ -f "$dir/$name" ]]; then
        copied[$name,$2]=1
        cp -u "$dir/$name" "$2/"
        deploy_imports "$dir/$name" "$2"
        break
      fi
    done
  done < <(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p')
}
deploy_plugins() { # destination
  local kind plugin
  for kind in platforms styles imageformats; do
    mkdir -p "$1/$kind"
    for plugin in "$sdk/plugins/$kind"/*.dll; do
      [[ "$kind" == platforms && "$(basename "$plugin")" == qdirect2d.dll ]] && continue
      cp -u "$plugin" "$1/$kind/"
      deploy_imports "$plugin" "$1"
    done
  done
  # Qt's own Russian texts (message box buttons, file dialogs): the same files on every platform.
  mkdir -p "$1/translations"
  cp -u /usr/share/qt6/translations/qtbase_ru.qm "$1/translations/"
}

deploy_plugins "$bin"
for exe in "$bin"/*.exe "$bin"/*.com; do
  [[ -f "$exe" ]] && deploy_imports "$exe" "$bin"
done

# The zip: the program, its console twin, what they import, the plugins, Qt's Russian texts, the
# help and a read-me.
version=$(sed -n 's/^project(vkt-rs7 VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
stage="$build/package/vkt-rs7-$version"
rm -rf "$build/package"
mkdir -p "$stage"
cp "$bin/vkt-rs7.exe" "$stage/"
[[ -f "$bin/vkt-rs7.com" ]] && cp "$bin/vkt-rs7.com" "$stage/"
for exe in "$stage"/*.exe "$stage"/*.com; do
  [[ -f "$exe" ]] && deploy_imports "$exe" "$stage"
done
deploy_plugins "$stage"
rmdir "$stage"/* 2>/dev/null || true
# The runtime DLLs come with their debugging symbols: a third of the size without them.
find "$stage" -name '*.dll' -o -name '*.exe' -o -name '*.com' | xargs x86_64-w64-mingw32-strip --strip-unneeded
cp "$root/src/ui/help/"*.html "$stage/" 2>/dev/null || true
sed "s/@VERSION@/$version/" "$root/scripts/windows-readme.txt" | sed 's/$/\r/' >"$stage/readme.txt"
zip="$build/vkt-rs7-$version-win64.zip"
rm -f "$zip"
(cd "$build/package" && zip -qr "$zip" "vkt-rs7-$version")
echo "build-windows: $zip ($(du -h "$zip" | cut -f1))"
