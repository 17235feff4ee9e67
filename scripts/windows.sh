#!/usr/bin/env bash
# Builds Pellucor for 64-bit Windows on this Debian machine, with Debian's mingw-w64 compilers,
# and tests it under Wine.
#
#   scripts/windows.sh                 the desktop program, the console and the installer
#   scripts/windows.sh --console       the console and the toolkit-free libraries with their
#                                      tests, run under Wine
#
# Options:
#   --qt-source NAME=DIR   a local source folder of qtsvg or qtcharts 6.4.2 (Debian's mirror has
#                          none); or PELLUCOR_QTSVG_SOURCE / PELLUCOR_QTCHARTS_SOURCE. Without
#                          one, the tag v6.4.2 is cloned from the public Qt repositories.
#   --cache DIR            where the third-party sources and builds live (default
#                          $PELLUCOR_WINDOWS_CACHE or ~/.cache/pellucor-windows); built once,
#                          keyed by version, never inside the repository
#   --build DIR            the build folder (default build/windows or build/windows-console)
#   --libraries            only the third-party libraries (with Qt unless --console)
#   --no-test              build without running the tests under Wine
#   --jobs N               parallel jobs (default: the number of cores)
#
# Every step logs to <cache>/logs/ and reports its time; a step whose result is in the cache is
# skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

console=0
libraries_only=0
run_tests=1
jobs=$(nproc)
cache=${PELLUCOR_WINDOWS_CACHE:-$HOME/.cache/pellucor-windows}
build=""
qtsvg_source=${PELLUCOR_QTSVG_SOURCE:-}
qtcharts_source=${PELLUCOR_QTCHARTS_SOURCE:-}

usage() { sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; }
while (($#)); do
  case $1 in
    --console) console=1 ;;
    --libraries) libraries_only=1 ;;
    --no-test) run_tests=0 ;;
    --jobs) jobs=$2; shift ;;
    --cache) cache=$2; shift ;;
    --build) build=$2; shift ;;
    --qt-source)
      case $2 in
        qtsvg=*) qtsvg_source=${2#*=} ;;
        qtcharts=*) qtcharts_source=${2#*=} ;;
        *) echo "windows.sh: --qt-source takes qtsvg=DIR or qtcharts=DIR, not '$2'" >&2; exit 2 ;;
      esac
      shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "windows.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
  esac
  shift
done
if [[ -z $build ]]; then
  if ((console)); then build=$root/build/windows-console; else build=$root/build/windows; fi
fi

mkdir -p "$cache/src" "$cache/logs"
cache=$(cd "$cache" && pwd)
logs=$cache/logs
triple=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER-$(command -v ccache || true)}

say() { printf 'windows.sh: %s\n' "$*" >&2; }

# Moves a folder out of the way at once and deletes it in the background (deleting thousands of
# files takes minutes on a disk that discards freed blocks).
discard() {
  local d
  for d in "$@"; do
    [[ -e $d ]] || continue
    mkdir -p "$cache/trash"
    local into
    into=$(mktemp -d "$cache/trash/XXXXXX")
    mv "$d" "$into/"
  done
  (nice -n 19 rm -rf "$cache/trash" >/dev/null 2>&1 &)
}

# Runs a step with its output in a log; prints the time it took, or the log's end on failure.
step() {
  local name=$1; shift
  local log=$logs/$name.log start=$SECONDS
  say "$name … (log: $log)"
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    say "$name failed after $((SECONDS - start)) s; the whole log is $log"
    exit 1
  fi
  say "$name done in $((SECONDS - start)) s"
  printf '%s %d s\n' "$name" $((SECONDS - start)) >>"$logs/times.txt"
}

# --- Debian packages ---------------------------------------------------------------------------
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev mingw-w64-tools libz-mingw-w64-dev wine64 wine dpkg-dev cmake make
  googletest nlohmann-json3-dev libboost-math-dev librandom123-dev xz-utils)
if ((!console)); then
  packages+=(nsis qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools qt6-translations-l10n
    qt6-svg-dev qt6-charts-dev fonts-noto-cjk xvfb xauth)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- Debian sources ----------------------------------------------------------------------------
# `apt-get source` needs a deb-src entry; one for Debian's main archive is added when none is there.
ensure_deb_src() {
  if grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  say "enabling Debian's source packages (deb-src)"
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/pellucor-deb-src.sources >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  "${sudo_cmd[@]}" apt-get update -qq
}

# Prints the folder of Debian's source of package $1 in the cache, fetching it when missing. The
# newest version first; when the mirror no longer has it (a security update replaced), the
# versions the index lists, newest first.
debian_source() {
  local pkg=$1 version dir
  local versions
  versions=$(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV -u)
  if [[ -z $versions ]]; then
    ensure_deb_src
    versions=$(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV -u)
  fi
  [[ -n $versions ]] || { say "no Debian source for $pkg"; return 1; }
  for version in $versions; do
    dir=$cache/src/$pkg-${version#*:}
    if [[ -f $dir/.pellucor-complete ]]; then echo "$dir"; return 0; fi
    local work=$cache/src/.fetch-$pkg
    discard "$work" && mkdir -p "$work"
    if (cd "$work" && apt-get source -qq "$pkg=$version" >"$logs/source-$pkg.log" 2>&1); then
      local unpacked
      unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
      discard "$dir" && mv "$unpacked" "$dir"
      echo "$pkg $version" >"$dir/.pellucor-complete"
      discard "$work"
      echo "$dir"
      return 0
    fi
  done
  say "apt-get source $pkg failed for every version listed ($versions); see $logs/source-$pkg.log"
  return 1
}

# Prints the folder of a Qt module's 6.4.2 source: the one given, or the tag cloned into the cache.
qt_module_source() {
  local name=$1 given=$2
  if [[ -n $given ]]; then
    [[ -f $given/CMakeLists.txt ]] || { say "$given is not a source folder of $name"; return 1; }
    (cd "$given" && pwd)
    return 0
  fi
  local dir=$cache/src/$name-6.4.2
  if [[ ! -f $dir/CMakeLists.txt ]]; then
    say "cloning $name v6.4.2 (or give a local folder with --qt-source $name=DIR)"
    discard "$dir"
    git clone -q --depth 1 --branch v6.4.2 "https://code.qt.io/qt/$name.git" "$dir" >&2 ||
      { say "cannot clone $name; give its 6.4.2 source with --qt-source $name=DIR"; return 1; }
  fi
  echo "$dir"
}

# --- third-party libraries for mingw -----------------------------------------------------------
prefix_root=$cache/mingw
mkdir -p "$prefix_root"
static_flags="-static-libgcc -static"

cmake_library() {
  local src=$1 prefix=$2; shift 2
  local bdir=$prefix.build
  discard "$bdir" "$prefix"
  nice -n 19 cmake -S "$src" -B "$bdir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_SHARED_LINKER_FLAGS="$static_flags" -DCMAKE_EXE_LINKER_FLAGS="$static_flags" "$@"
  nice -n 19 cmake --build "$bdir" -j "$jobs"
  cmake --install "$bdir"
}

build_gsl() {
  local src=$1 prefix=$2 bdir=$2.build
  discard "$bdir" "$prefix"
  mkdir -p "$bdir"
  # The library only: the documentation does not build from Debian's source (it lacks files).
  sed -i 's/^\(SUBDIRS = .*\) doc$/\1/' "$src/Makefile.in"
  (cd "$bdir" && nice -n 19 "$src/configure" --host=$triple --prefix="$prefix" --disable-shared \
    --enable-static CFLAGS="-O2" && nice -n 19 make -j "$jobs" && make install)
}

build_libxlsxwriter() {
  cmake_library "$1" "$2" -DBUILD_SHARED_LIBS=ON -DUSE_SYSTEM_MINIZIP=OFF -DBUILD_TESTS=OFF \
    -DBUILD_EXAMPLES=OFF -DZLIB_LIBRARY=/usr/$triple/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triple/include
}

build_libzip() {
  cmake_library "$1" "$2" -DBUILD_SHARED_LIBS=ON -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_BZIP2=OFF \
    -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF \
    -DBUILD_DOC=OFF -DZLIB_LIBRARY=/usr/$triple/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triple/include
}

build_expat() {
  local src=$1/expat
  # Debian's security patches test `#if XML_DTD == 1`; the CMake template defines it empty.
  sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$src/expat_config.h.cmake"
  cmake_library "$src" "$2" -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF \
    -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF
}

build_googletest() {
  cmake_library "$1" "$2" -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF
}

# The header-only libraries (Boost.Math, Random123, nlohmann-json) from Debian's own packages,
# seen by the cross build through a prefix of links.
build_headers() {
  local prefix=$2
  discard "$prefix" && mkdir -p "$prefix/include" "$prefix/share/cmake"
  ln -s /usr/include/boost /usr/include/Random123 /usr/include/nlohmann "$prefix/include/"
  cp -a /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
}

# library NAME SOURCE-DIR VERSION: builds NAME into $prefix_root/NAME-VERSION once.
library() {
  local name=$1 src=$2 version=$3
  local prefix=$prefix_root/$name-$version
  if [[ ! -f $prefix/.pellucor-complete ]]; then
    step "build-$name-$version" "build_$name" "$src" "$prefix"
    date -u +%FT%TZ >"$prefix/.pellucor-complete"
  fi
  prefixes+=("$prefix")
}

prefixes=()
source_version() { sed -n 's/^[^ ]* //p' "$1/.pellucor-complete"; }
gsl_src=$(debian_source gsl)
xlsx_src=$(debian_source libxlsxwriter)
zip_src=$(debian_source libzip)
expat_src=$(debian_source expat)
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
library headers /usr/include "$(dpkg-query -W -f='${Version}' nlohmann-json3-dev)"
library gsl "$gsl_src" "$(source_version "$gsl_src")"
library libxlsxwriter "$xlsx_src" "$(source_version "$xlsx_src")"
library libzip "$zip_src" "$(source_version "$zip_src")"
library expat "$expat_src" "$(source_version "$expat_src")"
library googletest /usr/src/googletest "$gtest_version"

# --- Qt 6.4.2 for Windows (the desktop program only) -------------------------------------------
qt_prefix=""
if ((!console)); then
  qtbase_src=$(debian_source qt6-base)
  qt_version=$(source_version "$qtbase_src")
  qt_prefix=$prefix_root/qt-$qt_version
  host_cmake=$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/cmake/Qt6/Qt6Config.cmake$')")/..

  build_qtbase() {
    local src=$1 prefix=$2 bdir=$2.build
    # A build cut short (the machine stopped, the script ended) goes on where it stopped.
    if [[ ! -f $bdir/build.ninja ]]; then
      discard "$bdir" "$prefix" && mkdir -p "$bdir"
      # Core, Gui, Widgets and PrintSupport with the bundled image, font and text libraries;
      # nothing that needs the files Debian removed, nothing the program does not use.
      (cd "$bdir" && nice -n 19 "$src/configure" -prefix "$prefix" -xplatform win32-g++ \
        -qt-host-path /usr -release -no-opengl -no-dbus -no-icu -no-zstd -nomake examples \
        -nomake tests -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre \
        -qt-doubleconversion -no-feature-sql -no-feature-network -no-feature-concurrent \
        -no-feature-xml -no-feature-tabletevent \
        -- -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -DCMAKE_CROSSCOMPILING_EMULATOR="")
    fi
    (cd "$bdir" && nice -n 19 cmake --build . --parallel "$jobs" && cmake --install .)
  }
  qt_module() {
    local src=$1 prefix=$2 bdir=$2.$(basename "$1").build
    if [[ ! -f $bdir/build.ninja ]]; then
      discard "$bdir" && mkdir -p "$bdir"
      (cd "$bdir" && nice -n 19 "$prefix/bin/qt-configure-module" "$src")
    fi
    (cd "$bdir" && nice -n 19 cmake --build . --parallel "$jobs" && cmake --install .)
  }
  if [[ ! -f $qt_prefix/.pellucor-qtbase ]]; then
    step "build-qtbase-$qt_version" build_qtbase "$qtbase_src" "$qt_prefix"
    date -u +%FT%TZ >"$qt_prefix/.pellucor-qtbase"
  fi
  for module in qtsvg qtcharts; do
    if [[ ! -f $qt_prefix/.pellucor-$module ]]; then
      given=qtsvg_source; [[ $module == qtcharts ]] && given=qtcharts_source
      msrc=$(qt_module_source "$module" "${!given}")
      step "build-$module-6.4.2" qt_module "$msrc" "$qt_prefix"
      date -u +%FT%TZ >"$qt_prefix/.pellucor-$module"
    fi
  done
  prefixes+=("$qt_prefix")
fi
if ((libraries_only)); then
  say "the third-party libraries are in $prefix_root"
  exit 0
fi

# --- Wine: one prefix for the builds and the tests, kept warm while the script runs ----------
export WINEPREFIX=${PELLUCOR_WINEPREFIX:-$cache/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no offer to install .NET or a browser engine
wine_ready() {
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    step wineboot nice -n 19 /usr/lib/wine/wine64 wineboot --init
  fi
  # Chinese glyphs for the desktop program and its pictures.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  if [[ -d $fonts && -d /usr/share/fonts/opentype/noto ]]; then
    find /usr/share/fonts/opentype/noto -name 'NotoSansCJK-Regular.ttc' -exec ln -sf {} "$fonts/" \;
  fi
  (wineserver -p >/dev/null 2>&1 &)  # stays until the end of the script
  # The prefix's own services start now, with nothing of ours to hold: started by the first
  # test program instead, they would inherit its output and keep ctest waiting for its end.
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
}
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine_ready

# --- Pellucor ----------------------------------------------------------------------------------
prefix_list=$(IFS=';'; echo "${prefixes[*]}")
gui=ON
((console)) && gui=OFF
configure() {
  nice cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DPELLUCOR_WERROR=ON -DPELLUCOR_GUI=$gui -DPELLUCOR_BENCH=OFF \
    -DCMAKE_PREFIX_PATH="$prefix_list" -DCMAKE_FIND_ROOT_PATH="$prefix_list" \
    ${qt_prefix:+-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=$host_cmake}
}
step configure-pellucor configure
step build-pellucor nice cmake --build "$build" -j "$jobs"

# The installer before the tests: what the tests find does not change what it holds, and a
# failing test is still reported (and ends the script with an error) after it is written.
if ((!console)); then
  step installer bash -c "cd '$build' && cpack -G NSIS"
  say "the installer: $(ls "$build"/Pellucor-*.exe)"
fi

if ((run_tests)); then
  # Every test executable under Wine (ctest's emulator); the desktop's offscreen.
  export QT_QPA_PLATFORM=offscreen
  # Under Wine a test program now and then fails to start at all (seen on a loaded machine: a
  # different test each run, failing in a few hundredths of a second, passing when run again):
  # a failed test is run again, up to three times in all; one that fails every time fails the
  # run, and the log names every retry.
  run_ctest=(ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 600
    --repeat until-pass:3)
  if [[ -n $qt_prefix ]]; then
    # The desktop's tests load Qt from its own folder (with the compiler's run-time libraries
    # it was built against) and its offscreen plugin; Wine draws even offscreen windows
    # through a display, so without one they run on a virtual one.
    winpath() { printf 'Z:%s' "${1//\//\\}"; }
    mingw_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
    pthread_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
    export WINEPATH="$(winpath "$qt_prefix/bin");$(winpath "$mingw_runtime");$(winpath "$pthread_runtime")"
    export QT_PLUGIN_PATH="$(winpath "$qt_prefix/plugins")"
    if [[ -z ${DISPLAY:-} ]]; then
      # The prefix's services must start on the virtual display as well.
      wineserver -k >/dev/null 2>&1 || true
      run_ctest=(xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
        (wineserver -p >/dev/null 2>&1 &)
        /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
        "$@"' bash "${run_ctest[@]}")
    fi
  fi
  start=$SECONDS
  say "tests under Wine … (log: $logs/tests.log)"
  if ! "${run_ctest[@]}" >"$logs/tests.log" 2>&1; then
    grep -E '(Failed|Not Run|Timeout|\*\*\*)' "$logs/tests.log" | head -n 60 >&2
    tail -n 5 "$logs/tests.log" >&2
    say "tests under Wine failed after $((SECONDS - start)) s; the whole log is $logs/tests.log"
    exit 1
  fi
  # ctest's own summary: what passed, and what was skipped on Windows and why it is named.
  sed -n '/tests passed/,$p' "$logs/tests.log"
  printf 'tests %d s\n' $((SECONDS - start)) >>"$logs/times.txt"
fi

say "done: $build/bin"
