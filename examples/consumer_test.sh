#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses it as another project
# would: the examples through find_package(Tervane) with nothing but
# CMAKE_PREFIX_PATH, the C example through pkg-config, the Python binding
# through the installed package. Every program runs in simulation mode and
# must exit 0; the installed programs must have relative run paths, and the
# tree still works once moved.
#
#   consumer_test.sh BUILD_DIR WORK_DIR C_COMPILER CXX_COMPILER
# Compiler and linker flags come from CFLAGS, CXXFLAGS and LDFLAGS (a
# sanitizer build hands its own on); TV_PYTHON3 names the interpreter, if any.
set -euo pipefail
build=$1 work=$2 cc=$3 cxx=$4
here="$(cd "$(dirname "$0")" && pwd)"
prefix=$work/prefix
rm -rf "$work"
mkdir -p "$work"

step() { echo "---- $*"; }

step "install into $prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
libdir=$(dirname "$(find "$prefix" -name 'libvarnelpci.so.1' | head -1)")
[ -n "$libdir" ] || { echo "no libvarnelpci.so.1 installed"; exit 1; }

step "relative run paths"
runpath=$(readelf -d "$prefix/bin/tv-run" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
echo "tv-run RUNPATH: $runpath"
case $runpath in '$ORIGIN/'*) ;; *) echo "tv-run's run path is not relative"; exit 1 ;; esac
for lib in varnelpci qoradrv; do
  soname=$(objdump -p "$libdir/lib$lib.so" | awk '$1 == "SONAME" {print $2}')
  echo "lib$lib.so SONAME: $soname"
  [ "$soname" = "lib$lib.so.1" ] || exit 1
done

step "the virtual bus stays behind the driver service"
if readelf -d "$libdir/libqoradrv.so.1" | grep -q 'NEEDED.*libtvvcard'; then
  echo "libqoradrv needs the virtual bus directly"; exit 1
fi
if grep -n 'qoradrv' "$libdir"/cmake/Tervane/TervaneTargets*.cmake | grep -q vcard; then
  echo "the virtual bus is in qoradrv's exported link interface"; exit 1
fi
if grep '#include' "$prefix/include/qoradrv.h" | grep -vq '<stdint.h>'; then
  echo "qoradrv.h includes more than <stdint.h>"; exit 1
fi
echo "libqoradrv.so.1 needs: $(readelf -d "$libdir/libqoradrv.so.1" | sed -n 's/.*NEEDED.*\[\(.*\)\]/\1/p' | tr '\n' ' ')"

step "CMake project: find_package(Tervane) with CMAKE_PREFIX_PATH only"
cmake -S "$here" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="${CFLAGS:-}" -DCMAKE_CXX_FLAGS="${CXXFLAGS:-}" \
  -DCMAKE_EXE_LINKER_FLAGS="${LDFLAGS:-}" > "$work/cmake-configure.log" ||
  { cat "$work/cmake-configure.log"; exit 1; }
cmake --build "$work/cmake" > "$work/cmake-build.log" || { cat "$work/cmake-build.log"; exit 1; }
grep -q "$prefix" <(readelf -d "$work/cmake/example_line_circle") ||
  { echo "the example does not use the installed library"; exit 1; }
"$work/cmake/example_line_circle" sim | tail -2

if [ -d "$prefix/include/glyphkey" ]; then
  step "CMake package: all three components, and an unknown one refused"
  mkdir -p "$work/all"
  cat > "$work/all/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(all_components LANGUAGES CXX)
find_package(Tervane 1.0 CONFIG REQUIRED COMPONENTS varnelpci qoradrv glyphkey)
foreach(t varnelpci qoradrv glyphkey)
  if(NOT TARGET Tervane::${t})
    message(FATAL_ERROR "no Tervane::${t}")
  endif()
endforeach()
find_package(Tervane CONFIG QUIET COMPONENTS nosuch)
if(Tervane_FOUND)
  message(FATAL_ERROR "an unknown component was accepted")
endif()
find_package(Tervane 2 CONFIG QUIET)
if(Tervane_FOUND)
  message(FATAL_ERROR "version 2 was accepted")
endif()
CMAKE
  cmake -S "$work/all" -B "$work/all/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" > "$work/all.log" || { cat "$work/all.log"; exit 1; }
  echo "Tervane::varnelpci, Tervane::qoradrv, Tervane::glyphkey found"
fi

step "pkg-config: varnelpci.pc"
export PKG_CONFIG_PATH=$libdir/pkgconfig
for pc in varnelpci qoradrv glyphkey; do
  [ -f "$PKG_CONFIG_PATH/$pc.pc" ] || continue
  echo "$pc $(pkg-config --modversion $pc): $(pkg-config --cflags --libs $pc | cut -c1-150)"
done
# shellcheck disable=SC2046
"$cc" ${CFLAGS:-} -Wall -Wextra -Werror "$here/line_circle.c" -o "$work/pc_line_circle" \
  $(pkg-config --cflags --libs varnelpci) -lm ${LDFLAGS:-}
LD_LIBRARY_PATH=$libdir "$work/pc_line_circle" sim | tail -2

if [ -n "${TV_PYTHON3:-}" ]; then
  step "Python: the installed package finds the installed libraries"
  PYTHONPATH=$prefix/lib/python3/dist-packages PYTHONDONTWRITEBYTECODE=1 "$TV_PYTHON3" -c '
import os, sys, tervane.varnelpci as v, tervane.qoradrv as q
path = v.library._name
print("tervane.varnelpci loaded", path)
sys.exit(0 if path.startswith(sys.argv[1]) else 1)' "$prefix"
fi
step "the installed tree moved elsewhere: tv-run still finds its libraries"
mv "$prefix" "$work/moved"
env -u LD_LIBRARY_PATH "$work/moved/bin/tv-run" "$work/moved/share/tervane/programs/square.tvp" \
  --csv "$work/square.csv" 2>&1 | grep -v XDG_RUNTIME_DIR | tail -1
echo "consumer test passed"
