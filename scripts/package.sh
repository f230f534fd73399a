#!/bin/sh
# Makes the release from the Windows build (build/windows, the binaries the
# tests ran on), reproducibly: the same commit gives the same bytes.
#   dist/Tavi-VERSION-win64.zip        Tavi.dll and tavi.exe, stripped;
#                                      LIESMICH.txt, README.txt, LICENSE, SHA256SUMS
#   dist/Tavi-VERSION-win64-debug.zip  Tavi.dll.debug, tavi.exe.debug, SHA256SUMS
#   dist/SHA256SUMS                    the two zips
# SHA256SUMS in the zips covers every file of both. VERSION is the CMake
# project's. Entry times are the commit's (SOURCE_DATE_EPOCH, if set, wins).
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD

scripts/setup.sh

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
# zip stores local times.
export TZ=UTC LC_ALL=C

BUILD_DIR=$ROOT/build/windows
echo "== building Tavi.dll and tavi.exe in $BUILD_DIR"
cmake --preset windows >/dev/null
cmake --build --preset windows --target Tavi tavi
VERSION=$(sed -n 's/^#define TAVI_VERSION_TEXT "\(.*\)"$/\1/p' "$BUILD_DIR/generated/TaviVersion.h")
[ -n "$VERSION" ] || { echo "package: no version in $BUILD_DIR/generated/TaviVersion.h" >&2; exit 1; }

NAME=Tavi-$VERSION-win64
STAGE=$ROOT/build/package
rm -rf "$STAGE" && mkdir -p "$STAGE/main" "$STAGE/debug" dist
rm -f "dist/$NAME.zip" "dist/$NAME-debug.zip" dist/SHA256SUMS

# Debug information into FILE.debug, the shipped file stripped and linked to
# it by name (the debug link holds a checksum, not a path). objcopy writes
# SOURCE_DATE_EPOCH as the PE time stamp.
split_debug() {
  cp "$1" "$STAGE/main/$2"
  (cd "$STAGE/main" &&
    x86_64-w64-mingw32-objcopy --only-keep-debug "$2" "../debug/$2.debug" &&
    x86_64-w64-mingw32-strip --strip-all "$2" &&
    cd ../debug && x86_64-w64-mingw32-objcopy --add-gnu-debuglink="$2.debug" "../main/$2")
}
split_debug "$BUILD_DIR/plugin/Tavi.dll" Tavi.dll
split_debug "$BUILD_DIR/cli/tavi.exe" tavi.exe

# Texts for Windows: CRLF line ends, the version filled in; the two with
# umlauts marked as UTF-8 (a byte-order mark), so that every editor reads them.
for text in packaging/LIESMICH.txt packaging/README.txt LICENSE; do
  out=$STAGE/main/$(basename "$text")
  case $text in *.txt) printf '\357\273\277' > "$out" ;; *) : > "$out" ;; esac
  sed -e "s/@VERSION@/$VERSION/g" -e 's/$/\r/' "$text" >> "$out"
done

MAIN_FILES="Tavi.dll tavi.exe LIESMICH.txt README.txt LICENSE"
DEBUG_FILES="Tavi.dll.debug tavi.exe.debug"
(cd "$STAGE/main" && sha256sum $MAIN_FILES) > "$STAGE/SHA256SUMS"
(cd "$STAGE/debug" && sha256sum $DEBUG_FILES) >> "$STAGE/SHA256SUMS"
cp "$STAGE/SHA256SUMS" "$STAGE/main/" && cp "$STAGE/SHA256SUMS" "$STAGE/debug/"

# Fixed entry order, times and modes; no extra fields (owner, Unix times).
make_zip() {
  (cd "$1" && chmod 644 $3 && touch -d "@$SOURCE_DATE_EPOCH" $3 && zip -X -D -q -9 "$ROOT/dist/$2" $3)
}
make_zip "$STAGE/main" "$NAME.zip" "$MAIN_FILES SHA256SUMS"
make_zip "$STAGE/debug" "$NAME-debug.zip" "$DEBUG_FILES SHA256SUMS"
(cd dist && sha256sum "$NAME.zip" "$NAME-debug.zip" > SHA256SUMS)

echo "== release $VERSION (commit time $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S') UTC)"
(cd dist && ls -l "$NAME.zip" "$NAME-debug.zip" && cat SHA256SUMS)
