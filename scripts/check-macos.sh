#!/usr/bin/env bash
# Compiles, for arm64 and x86_64 macOS 11, every translation unit of the macOS
# build that needs no Qt (settings, engine, the platform core and its sim and
# macos backends, replay, glidemarkctl, and the system halves of the macOS
# shell) against Apple's SDK, with the project's warnings as errors, and
# checks that the objects really call the system.
#
# The SDK is used where it lies (GLIDEMARK_MACOS_SDK, default ../shared/macos-sdk
# from the repository); nothing of it is copied into the project or the build
# tree. Its packaging has turned the frameworks' symbolic links into small
# files naming their targets, so a tree of links that restores them is made
# under build/macos-check/sdk. The compile sees only that SDK and a folder of
# links to the header-only nlohmann/ and CLI/ folders, so no Linux header can
# leak in. Objects are compiled, not linked: the SDK has no libSystem stubs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# "The repository" is the main checkout, also when this runs in a worktree of it.
repo=$root
common=$(git rev-parse --path-format=absolute --git-common-dir 2>/dev/null || true)
[ -n "$common" ] && repo=$(dirname "$common")
sdk=${GLIDEMARK_MACOS_SDK:-$repo/../shared/macos-sdk}
if [ ! -d "$sdk/Frameworks" ] || [ ! -d "$sdk/include/c++/v1" ]; then
  echo "check-macos: SKIPPED: no macOS SDK at '$sdk' (set GLIDEMARK_MACOS_SDK to one with Frameworks/ and include/c++/v1)"
  exit 0
fi
sdk=$(realpath "$sdk")

# clang 19 (Debian's clang 14 headers are too old for this libc++), its nm/objdump,
# and Debian's Qt for the type-check of the Qt glue.
"$root/scripts/deps.sh" macos

out=$root/build/macos-check
mkdir -p "$out"

# ---- a view of the SDK with its links restored ---------------------------------
view=$out/sdk
if [ "$(cat "$out/sdk.source" 2>/dev/null)" != "$sdk" ] || [ ! -d "$view/Frameworks" ]; then
  echo "== linking a view of $sdk =="
  rm -rf "$view"
  mkdir -p "$view"
  # A flattened link: under 256 bytes, one line without a final newline, a path.
  declare -A flat=() keep=()
  while IFS= read -r -d '' f; do
    [ -n "$(tail -c1 "$f")" ] || continue
    grep -qE '^[A-Za-z0-9_.+/-]+$' "$f" || continue
    rel=${f#"$sdk"/}
    flat[$rel]=1
    d=$(dirname "$rel")
    while [ "$d" != . ]; do keep[$d]=1; d=$(dirname "$d"); done
  done < <(find "$sdk" -type f -size -256c -print0)
  # Folders holding a flattened link are made; everything else is linked.
  link_children() {
    local rel=$1 src dst e name r
    src=$sdk${rel:+/$rel}
    dst=$view${rel:+/$rel}
    mkdir -p "$dst"
    for e in "$src"/* "$src"/.[!.]*; do
      [ -e "$e" ] || continue
      name=${e##*/}
      r=${rel:+$rel/}$name
      if [ -n "${keep[$r]:-}" ]; then continue
      elif [ -n "${flat[$r]:-}" ]; then ln -s "$(cat "$e")" "$dst/$name"
      else ln -s "$e" "$dst/$name"; fi
    done
  }
  link_children ""
  for d in "${!keep[@]}"; do link_children "$d"; done
  echo "$sdk" >"$out/sdk.source"
fi

inc=$out/include
mkdir -p "$inc"
ln -sfn /usr/include/nlohmann "$inc/nlohmann"
ln -sfn /usr/include/CLI "$inc/CLI"

# ---- what is compiled --------------------------------------------------------------
# The project's own warning set, read from the one place it is kept.
read -r -a warnings <<<"$(sed -n '/target_compile_options(glidemark_warnings INTERFACE/,/)/p' cmake/GlidemarkWarnings.cmake |
  tr -d '()' | tr ' ' '\n' | grep '^-W' | tr '\n' ' ')"
warnings+=(-Werror)
version=$(sed -n 's/^project(Glidemark VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# Qt code: it includes Qt, or a header of the shared Qt shell.
uses_qt() {
  grep -qE '^#\s*include\s*<(Q[A-Za-z]+|Qt[A-Za-z]*/[^>]*)>' "$1" ||
    grep -E '^#\s*include\s*"app/' "$1" | grep -qvE '"app/(update/)?macos/'
}
units=()
glue=()
for f in src/settings/*.cpp src/engine/*.cpp src/platform/*.cpp src/platform/sim/*.cpp \
         src/platform/standin/*.cpp src/platform/macos/*.cpp src/platform/macos/*.mm \
         src/replay/*.cpp tools/glidemarkctl/*.cpp tools/glidemarkctl/macos/*.cpp \
         src/app/macos/*.cpp src/app/macos/*.mm src/app/update/macos/*.cpp src/app/update/macos/*.mm; do
  [ -e "$f" ] || continue
  # The Qt glue is type-checked below instead.
  uses_qt "$f" && { glue+=("$f"); continue; }
  units+=("$f")
done

compile() {  # arch file
  local arch=$1 f=$2 obj lang=()
  obj=$out/$arch/${f%.*}.o
  mkdir -p "$(dirname "$obj")"
  [[ $f == *.mm ]] && lang=(-fobjc-arc)
  clang++-19 -target "$arch-apple-macos11" -isysroot "$view" -iframework "$view/Frameworks" \
    -nostdinc++ -isystem "$view/include/c++/v1" -isystem "$view/include" -isystem "$inc" \
    -std=c++20 -O1 "${lang[@]}" "${warnings[@]}" -I src -I tools/glidemarkctl -DGLIDEMARK_VERSION="\"$version\"" \
    -c "$f" -o "$obj"
}
export -f compile
export out view inc version
export warnings_list="${warnings[*]}"

# Objects of sources that are gone must not answer for the symbols below.
rm -rf "$out/arm64" "$out/x86_64"
echo "== compiling ${#units[@]} translation units for arm64 and x86_64 (macOS 11) =="
status=0
for arch in arm64 x86_64; do
  printf '%s\n' "${units[@]}" |
    xargs -P 2 -I{} bash -c 'read -r -a warnings <<<"$warnings_list"; compile '"$arch"' "$1" || exit 255' _ {} || status=1
done
((status == 0)) || { echo "check-macos: FAILED: compile errors above"; exit 1; }

# ---- the objects are Mach-O for their architecture and call the system ------------
expected=(_CGEventTapCreate _CGEventTapPostEvent _CVDisplayLinkCreateWithCGDisplay _AXIsProcessTrustedWithOptions
  _CGWindowListCopyWindowInfo _CFRunLoopAddSource '_OBJC_CLASS_$_NSWorkspace')
for arch in arm64 x86_64; do
  cpu=$([ "$arch" = arm64 ] && echo ARM64 || echo X86_64)
  while IFS= read -r -d '' obj; do
    llvm-objdump-19 --macho --private-header "$obj" | grep -qE "^MH_MAGIC_64 +$cpu .* OBJECT " ||
      { echo "check-macos: FAILED: $obj is not a Mach-O $arch object"; exit 1; }
  done < <(find "$out/$arch" -name '*.o' -print0)
  imports=$(find "$out/$arch/src/platform/macos" -name '*.o' -exec llvm-nm-19 -u {} + | sort -u)
  for symbol in "${expected[@]}"; do
    grep -qxF "$symbol" <<<"$imports" || { echo "check-macos: FAILED: $arch objects do not import $symbol"; exit 1; }
  done
done

# ---- the Qt glue only a Mac can build ------------------------------------------------
# There is no Qt for macOS here. These files include nothing of Apple's but
# libdispatch (the signal watcher, left to the Mac), so their types and calls
# are checked against Debian's Qt on this machine; the README lists them as
# compiled only on a Mac.
qt=$(pkg-config --cflags Qt6Widgets Qt6Network | sed 's/-I/-isystem /g')
checked=0
for f in "${glue[@]}"; do
  grep -q '<dispatch/' "$f" && continue
  # shellcheck disable=SC2086
  c++ -std=c++20 -fPIC -fsyntax-only "${warnings[@]}" -I src $qt "$f" ||
    { echo "check-macos: FAILED: $f does not type-check against Qt"; exit 1; }
  checked=$((checked + 1))
done
echo "check-macos: OK: ${#units[@]} units x 2 architectures; platform/macos imports ${expected[*]};" \
  "$checked of ${#glue[@]} Qt glue files type-checked against Debian's Qt"
