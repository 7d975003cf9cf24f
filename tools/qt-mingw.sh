#!/usr/bin/env bash
# Builds Qt Core, Gui, Widgets, PrintSupport and Test for 64-bit Windows (x86_64-w64-mingw32) from
# Debian's own qt6-base source, the same version as the host's Qt, whose tools (moc, rcc, uic) the
# cross build uses. The result goes to a cache outside the source tree, named by Qt's version, and
# is reused while its recorded settings match; a cold build takes about half an hour on two cores.
# Prints the Qt prefix on standard output, and what it does on standard error.
# Usage: tools/qt-mingw.sh        (VELMORA_QT_CACHE overrides the cache folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

say() { echo "qt-mingw: $*" >&2; }

source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev) # e.g. 6.4.2+dfsg-10
qt_version=${source_version%%+*}
qt_version=${qt_version%%-*}
if [ -n "${VELMORA_QT_CACHE:-}" ]; then
    cache=$VELMORA_QT_CACHE
elif [ "$(id -u)" -eq 0 ]; then
    cache=/var/cache/velmora
else
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/velmora
fi
prefix=$cache/qt-$qt_version-mingw64

# Everything that decides what is built; a cached Qt built otherwise is built again.
options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    # The third-party libraries Qt carries, rather than whatever mingw-w64 builds happen to be here.
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_sql=OFF
    -DFEATURE_network=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_vulkan=OFF
    # Debian's source leaves out the tablet header the Windows tablet support includes.
    -DFEATURE_tabletevent=OFF
    # OpenGL stays on: 6.4's Windows platform plugin does not compile without it (Qt then loads
    # the system's OpenGL at run time, "dynamic OpenGL").
)
key="qt6-base $source_version
$(x86_64-w64-mingw32-g++-posix --version | head -n1)
$(sha256sum "$root/tools/mingw-w64-x86_64.cmake" | cut -d' ' -f1)
${options[*]}"

mkdir -p "$cache"
# One build at a time: a second caller waits for the first and then finds its result.
exec 9>"$cache/qt-$qt_version-mingw64.lock"
if ! flock -n 9; then
    say "another build of this Qt is running; waiting for it"
    flock 9
fi

if [ -f "$prefix/velmora-build-key" ] && [ "$(cat "$prefix/velmora-build-key")" = "$key" ]; then
    say "using the cached Qt $qt_version for MinGW in $prefix"
    echo "$prefix"
    exit 0
fi

say "building Qt $qt_version for x86_64-w64-mingw32 into $prefix (about 30 minutes on 2 cores)"
work=$cache/qt-$qt_version-mingw64.work
rm -rf "$work"
mkdir -p "$work"
started=$SECONDS

# The source, through an apt configuration of our own: deb-src entries for the archives and
# suites the system's deb entries name, lists in our own folder; the machine's apt stays as it is.
say "step 1/4: fetching Debian's source of qt6-base $source_version"
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/sources.list.d"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas: keep those with a deb type, as deb-src.
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
             sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" \
        >"$apt_dir/sources.list.d/$(basename "$f")"
done
{
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true
} | sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' >"$apt_dir/sources.list"
apt_options=(
    -o Dir::Etc::SourceList="$apt_dir/sources.list"
    -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
    -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::Cache="$apt_dir"
    -o Dir::Cache::Archives="$apt_dir/archives"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
)
apt-get "${apt_options[@]}" -q update >&2
(cd "$work" && apt-get "${apt_options[@]}" -q source --download-only "qt6-base=$source_version" >&2)
(cd "$work" && dpkg-source -q -x ./*.dsc src >&2)

say "step 2/4: configuring (Core, Gui, Widgets, PrintSupport, Test; shared; bundled libraries)"
cmake -S "$work/src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/tools/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure.log" 2>&1 || {
    tail -n 40 "$work/configure.log" >&2
    say "configuring Qt failed; the whole log is $work/configure.log"
    exit 1
}

# Ninja's own [done/total] lines, shown about every 5 %; the compiler's output (Qt's own sources
# give thousands of warnings) goes to a log, whose end is shown if the build fails.
say "step 3/4: compiling, at low priority beside other work (log: $work/build.log)"
set +e
NINJA_STATUS='[%f/%t] ' nice -n 10 cmake --build "$work/build" 2>&1 | tee "$work/build.log" | {
    shown=-5
    while IFS= read -r line; do
        if [[ $line =~ ^\[([0-9]+)/([0-9]+)\]\  ]]; then
            done_steps=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
            pct=$((100 * done_steps / total))
            if [ "$pct" -ge $((shown + 5)) ] || [ "$done_steps" -eq "$total" ]; then
                shown=$pct
                say "$pct % ($done_steps of $total steps, $(((SECONDS - started) / 60)) min)"
            fi
        fi
    done
}
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
    grep -B 5 -A 20 -m 5 -E 'error|FAILED' "$work/build.log" | tail -n 80 >&2
    say "compiling Qt failed; the whole log is $work/build.log"
    exit 1
fi

say "step 4/4: installing"
# The key is written last: an install cut short is never taken for a finished one.
rm -rf "$prefix"
cmake --install "$work/build" >"$work/install.log" 2>&1 || {
    tail -n 20 "$work/install.log" >&2
    exit 1
}
printf '%s\n' "$key" >"$prefix/velmora-build-key"
rm -rf "$work"
say "done in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s: $prefix"
echo "$prefix"
