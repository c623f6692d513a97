#!/usr/bin/env bash
# Builds the sysroot for ARM64 Windows executables from Debian's own source
# packages -- Debian 12 ships no aarch64 mingw-w64 -- into CACHE/<key>, where
# <key> names the pinned versions; a sysroot already there is used as it is.
#   <key>/include      mingw-w64's headers (a copy: the CRT's install writes
#                      into its prefix's include folder, never the host's)
#   <key>/lib          crt2.o, libmingw32, libmingwex, libmsvcrt and the
#                      import libraries, built by mingw-w64-crt
#   <key>/clang        a copy of clang's resource folder with compiler-rt's
#                      builtins for aarch64-w64-mingw32 (__chkstk, ...)
#   <key>/packages     which Debian source package each of those folders
#                      comes from, "<folder> <package> <version>" (the SBOM)
# Nothing is downloaded but Debian's packages, each checked against the
# archive's signed index (debian_source.sh). Prints the sysroot's path last.
# Usage: arm64_sysroot.sh CACHE-DIR
set -euo pipefail
cache=$1
mingw_version=10.0.0-3          # mingw-w64, as mingw-w64-common
llvm_version=1:14.0.6-12        # llvm-toolchain-14, as clang-14
key=aarch64-w64-mingw32-mingw${mingw_version}-llvm${llvm_version#*:}
sysroot=$cache/$key
if [ -f "$sysroot/complete" ]; then echo "$sysroot"; exit 0; fi

step() { echo "arm64 sysroot: $*" >&2; }
for package in clang-14:$llvm_version mingw-w64-common:$mingw_version; do
  installed=$(dpkg-query -W -f='${Version}' "${package%%:*}" 2>/dev/null || true)
  [ "$installed" = "${package#*:}" ] || { step "needs ${package%%:*} ${package#*:}, found '${installed:-none}'"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$sysroot" && mkdir -p "$sysroot/lib"
cp -r /usr/share/mingw-w64/include "$sysroot/include"

target=aarch64-w64-mingw32
tools=/usr/lib/llvm-14/bin
cc="$tools/clang --target=$target --sysroot=$sysroot -isystem $sysroot/include -rtlib=compiler-rt -unwindlib=none -fuse-ld=lld"
start=$SECONDS
step "mingw-w64 $mingw_version: source"
"$(dirname "$0")/debian_source.sh" "$work" source "mingw-w64=$mingw_version"
crt=$(echo "$work"/mingw-w64-*/mingw-w64-crt)
step "mingw-w64-crt: configure ($((SECONDS - start)) s)"
mkdir "$work/crt-build"
(cd "$work/crt-build" && CC="$cc" AR="$tools/llvm-ar" RANLIB="$tools/llvm-ranlib" DLLTOOL="$tools/llvm-dlltool" \
  "$crt/configure" --host=$target --prefix="$sysroot" --disable-lib32 --disable-lib64 --enable-libarm64 \
  --with-default-msvcrt=msvcrt-os >"$work/crt-configure.log" 2>&1) ||
  { tail -20 "$work/crt-configure.log" >&2; exit 1; }
step "mingw-w64-crt: build on $(nproc) cores ($((SECONDS - start)) s)"
(cd "$work/crt-build" && make -j"$(nproc)" >"$work/crt-make.log" 2>&1 && make install >>"$work/crt-make.log" 2>&1) ||
  { tail -20 "$work/crt-make.log" >&2; exit 1; }
# The install puts the libraries under <prefix>/<target>/lib or <prefix>/lib.
[ -d "$sysroot/$target/lib" ] && cp -a "$sysroot/$target/lib/." "$sysroot/lib/"

step "compiler-rt builtins: source of llvm-toolchain-14 $llvm_version ($((SECONDS - start)) s)"
"$(dirname "$0")/debian_source.sh" "$work" source --download-only "llvm-toolchain-14=$llvm_version"
tar -xf "$work"/llvm-toolchain-14_*.orig.tar.xz -C "$work" --wildcards '*/compiler-rt/*' '*/cmake/*' 2>/dev/null ||
  tar -xf "$work"/llvm-toolchain-14_*.orig.tar.* -C "$work" --wildcards '*/compiler-rt/*' '*/cmake/*'
llvm_source=$(echo "$work"/llvm-toolchain-14_*/)
[ -d "$llvm_source" ] || llvm_source=$(dirname "$(echo "$work"/*/compiler-rt)")
step "compiler-rt builtins: build ($((SECONDS - start)) s)"
resource=$sysroot/clang
cp -r "$("$tools/clang" -print-resource-dir)" "$resource"
cmake -S "$llvm_source/compiler-rt/lib/builtins" -B "$work/builtins" -G "Unix Makefiles" \
  -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=aarch64 \
  -DCMAKE_C_COMPILER="$tools/clang" -DCMAKE_C_COMPILER_TARGET=$target -DCMAKE_ASM_COMPILER="$tools/clang" \
  -DCMAKE_ASM_COMPILER_TARGET=$target -DCMAKE_AR="$tools/llvm-ar" -DCMAKE_RANLIB="$tools/llvm-ranlib" \
  -DCMAKE_C_FLAGS="--sysroot=$sysroot -isystem $sysroot/include" -DCMAKE_ASM_FLAGS="--sysroot=$sysroot -isystem $sysroot/include" \
  -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_ASM_COMPILER_WORKS=ON -DCOMPILER_RT_DEFAULT_TARGET_ONLY=ON \
  -DCOMPILER_RT_BUILD_BUILTINS=ON -DLLVM_CMAKE_DIR="$llvm_source/llvm/cmake/modules" \
  -DCMAKE_INSTALL_PREFIX="$resource" >"$work/builtins.log" 2>&1 &&
  cmake --build "$work/builtins" -j"$(nproc)" >>"$work/builtins.log" 2>&1 ||
  { tail -20 "$work/builtins.log" >&2; exit 1; }
mkdir -p "$resource/lib/windows"
cp "$(find "$work/builtins" -name 'libclang_rt.builtins-aarch64.a' | head -1)" "$resource/lib/windows/"
printf 'lib mingw-w64 %s\nclang llvm-toolchain-14 %s\n' "$mingw_version" "$llvm_version" >"$sysroot/packages"
touch "$sysroot/complete"
step "done in $((SECONDS - start)) s"
echo "$sysroot"
