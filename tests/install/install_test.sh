#!/usr/bin/env bash
# What an integrator gets from the build: run as `install_test.sh CASE` by ctest,
# with BUILD_DIR, SOURCE_DIR, WORK_DIR, CMAKE_COMMAND, CPACK_COMMAND and CXX set.
set -euo pipefail
unset CORVANE_MODULE

prefix=$WORK_DIR/prefix
registry=$WORK_DIR/registry
mkdir -p "$WORK_DIR"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# expect_in TEXT NEEDLE...: each needle occurs in the text.
expect_in() {
  local text=$1
  shift
  for needle in "$@"; do
    grep -qF -- "$needle" <<<"$text" || fail "expected \"$needle\" in:
$text"
  done
}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# build_host DIR [cmake options]: configures and builds examples/host.
build_host() {
  local dir=$1
  shift
  rm -rf "$dir"
  "$CMAKE_COMMAND" -S "$SOURCE_DIR/examples/host" -B "$dir" -DCMAKE_CXX_COMPILER="$CXX" \
    "${launcher[@]}" "$@" >"$dir.configure.log" 2>&1 || fail "configuring the host: $(cat "$dir.configure.log")"
  "$CMAKE_COMMAND" --build "$dir" >"$dir.build.log" 2>&1 || fail "building the host: $(cat "$dir.build.log")"
}

# The three steps of the example host, as their output shows them.
check_host_run() {
  local out status=0
  out=$("$1/example_host" "$registry" 2>&1) || status=$?
  [ "$status" -eq 0 ] || fail "example_host exited with $status:
$out"
  expect_in "$out" "loaded $prefix/lib/corvane/Corvane.so (Corvane 2.0.0)" \
    "DMS: MarkAsVital Document 17 (Contracts are vital records)" \
    "DMS: MarkAsVital Document 19" "task variable ISVITAL = True" \
    "posted to \"Mira Khan\" <\"mira@example.org\">" \
    "failed with error 438: IDmsService::GetSecurityLabel is not supported by this host" \
    "ApplySecurityLabel" "all three steps behaved as expected"
}

case "$1" in
  module_exports_only_entry_points)
    exported=$(nm -D --defined-only "$BUILD_DIR/Corvane.so" | awk '{print $3}' | sort)
    expected=$(printf '%s\n' CorvaneFindResource CorvaneGetContract CorvaneSetDecisionObserver \
      CorvaneSetPlatform \
      DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer | sort)
    [ "$exported" = "$expected" ] || fail "Corvane.so exports
$exported
instead of
$expected"
    ;;

  install_prefix)
    rm -rf "$prefix" "$registry"
    "$CMAKE_COMMAND" --install "$BUILD_DIR" --prefix "$prefix" >/dev/null
    for f in lib/corvane/Corvane.so bin/corvane include/corvane/loader.h include/corvane/version.h \
      include/pelmark/host_bases.h include/pelmark/contract.h lib/cmake/Corvane/CorvaneConfig.cmake \
      lib/cmake/Corvane/CorvaneConfigVersion.cmake lib/pkgconfig/corvane.pc \
      share/man/man1/corvane.1 share/doc/Corvane/integrating.md \
      share/doc/Corvane/scenario.schema.json share/doc/Corvane/classes/classes.schema.json \
      share/doc/Corvane/classes/Notify.schema.json share/bash-completion/completions/corvane; do
      [ -f "$prefix/$f" ] || fail "cmake --install did not install $f"
    done
    # The installed tool registers the installed module (found on its own).
    out=$("$prefix/bin/corvane" register --registry "$registry" 2>&1) || fail "register: $out"
    expect_in "$out" "Registered $prefix/lib/corvane/Corvane.so in $registry"
    ;;

  host_through_cmake_package)
    build_host "$WORK_DIR/host-cmake" -DCMAKE_PREFIX_PATH="$prefix"
    check_host_run "$WORK_DIR/host-cmake"
    ;;

  host_through_pkg_config)
    export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
    module=$(pkg-config --variable=module corvane)
    [ "$(realpath "$module")" = "$prefix/lib/corvane/Corvane.so" ] || fail "pkg-config names $module"
    expect_in "$(pkg-config --cflags corvane)" "-std=c++20" "/include"
    build_host "$WORK_DIR/host-pkg-config" -DUSE_PKG_CONFIG=ON
    check_host_run "$WORK_DIR/host-pkg-config"
    ;;

  incompatible_host_is_refused)
    build_host "$WORK_DIR/host-old-abi" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_CXX_FLAGS=-D_GLIBCXX_USE_CXX11_ABI=0
    status=0
    out=$("$WORK_DIR/host-old-abi/example_host" "$registry" 2>&1) || status=$?
    [ "$status" -eq 2 ] || fail "the old-ABI host exited with $status:
$out"
    expect_in "$out" "refusing to use $prefix/lib/corvane/Corvane.so" \
      "the module was built for contract version 7, libstdc++ with the C++11 string ABI (_GLIBCXX_USE_CXX11_ABI=1)" \
      "this host for contract version 7, libstdc++ with the old string ABI (_GLIBCXX_USE_CXX11_ABI=0)"
    if grep -qF "MarkAsVital Document" <<<"$out"; then fail "a refused host ran a step"; fi
    ;;

  installed_tool_finds_installed_module)
    tool=$prefix/bin/corvane
    out=$("$tool" classes) || fail "corvane classes: $out"
    [ "$(grep -c 'Corvane\.' <<<"$out")" -ge 32 ] || fail "corvane classes listed:
$out"
    expect_in "$("$tool" --version)" "corvane 2.0.0" "module 2.0.0 ($prefix/lib/corvane/Corvane.so"
    # The environment variable wins over the installed module, --module over both.
    status=0
    out=$(CORVANE_MODULE=$WORK_DIR/none.so "$tool" classes 2>&1) || status=$?
    [ "$status" -eq 2 ] || fail "a missing CORVANE_MODULE was ignored"
    expect_in "$out" "the module $WORK_DIR/none.so does not exist"
    out=$(CORVANE_MODULE=$WORK_DIR/none.so "$tool" version --module "$BUILD_DIR/Corvane.so")
    expect_in "$out" "module 2.0.0 ($BUILD_DIR/Corvane.so"
    # Bad input: each names the thing and leaves nothing behind.
    status=0
    out=$("$tool" register --registry "$WORK_DIR/untouched" --module "$WORK_DIR/none.so" 2>&1) ||
      status=$?
    [ "$status" -eq 2 ] && [ ! -e "$WORK_DIR/untouched" ] || fail "register of a missing module: $out"
    expect_in "$out" "the module $WORK_DIR/none.so does not exist"
    status=0
    out=$("$tool" run --registry "$WORK_DIR/no-registry" \
      "$SOURCE_DIR/examples/records/mark-as-vital.json" 2>&1) || status=$?
    [ "$status" -eq 2 ] || fail "a missing registry directory was accepted: $out"
    expect_in "$out" "$WORK_DIR/no-registry does not exist"
    # The installed workflow example runs from where it was installed, page and all.
    out=$("$tool" run --html "$WORK_DIR/workflow.html" \
      "$prefix/share/doc/Corvane/examples/workflows/contract-approved.json") ||
      fail "the installed workflow example: $out"
    expect_in "$out" "Steps run: 4; decisions: 1; messages: 2" "PASS "
    expect_in "$(cat "$WORK_DIR/workflow.html")" '"kind": "answer"'
    ;;

  debian_package)
    rm -rf "$WORK_DIR/deb" "$WORK_DIR/root"
    (cd "$BUILD_DIR" && "$CPACK_COMMAND" -G DEB -B "$WORK_DIR/deb" >"$WORK_DIR/cpack.log" 2>&1) ||
      fail "cpack: $(cat "$WORK_DIR/cpack.log")"
    deb=$(ls "$WORK_DIR"/deb/corvane_*.deb)
    contents=$(dpkg-deb -c "$deb")
    expect_in "$contents" ./usr/lib/corvane/Corvane.so ./usr/bin/corvane \
      ./usr/include/corvane/loader.h ./usr/include/pelmark/host.h \
      ./usr/lib/cmake/Corvane/CorvaneConfig.cmake ./usr/lib/pkgconfig/corvane.pc \
      ./usr/share/man/man1/corvane.1 ./usr/share/bash-completion/completions/corvane
    root=$WORK_DIR/root
    dpkg-deb -x "$deb" "$root"
    dpkg-deb -e "$deb" "$root/DEBIAN"
    out=$("$root/usr/bin/corvane" classes) || fail "the unpacked corvane classes: $out"
    expect_in "$out" "Corvane.MarkAsVital" "Corvane.ApplySecurityLabel"
    # Maintainer scripts: install registers, removal takes back exactly its entries.
    registry_root=$root/var/lib/pelmark/registry
    mkdir -p "$registry_root/Other.Component/CLSID"
    echo "{00000000-0000-0000-0000-000000000001}" >"$registry_root/Other.Component/CLSID/@"
    DPKG_ROOT=$root sh "$root/DEBIAN/postinst" configure >/dev/null
    [ "$(ls "$registry_root/CLSID" | wc -l)" -eq 32 ] || fail "postinst registered $(ls "$registry_root/CLSID" | wc -l) classes"
    expect_in "$(cat "$registry_root/Corvane.MarkAsVital/CLSID/@")" "{"
    DPKG_ROOT=$root sh "$root/DEBIAN/prerm" remove >/dev/null
    left=$(cd "$registry_root" && find . -mindepth 1 | sort | tr '\n' ' ')
    [ "$left" = "./Other.Component ./Other.Component/CLSID ./Other.Component/CLSID/@ " ] ||
      fail "prerm left: $left"
    ;;

  *)
    fail "unknown case $1"
    ;;
esac
echo "ok: $1"
