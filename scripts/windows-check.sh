#!/usr/bin/env bash
# Cross-builds Corvane.dll, corvane.exe and the Wine test programs with mingw-w64
# for x64 and for x86, then checks each architecture under Wine, in a fresh
# prefix of its own (a reused one hides registration faults), from a folder whose
# name holds Latin, Greek, CJK and astral characters, so that every path,
# registry value and argument must cross as UTF-16 to arrive exactly:
#  - regsvr32 and a VBScript host on the registered DLL (for x86 the 32-bit
#    regsvr32 and cscript, and the registration must be in the 32-bit view);
#  - corvane.exe's version, describe, help, and register refusing --registry;
#  - every scenario file of the repository run by corvane.exe (each step created
#    through COM from the registered DLL) and by the Linux corvane: the reports
#    must be the same but for the module path and the registry
#    (scripts/compare-scenarios.py); then one scenario under a file name beyond
#    ASCII, with its JUnit file written under such a name too;
#  - an unregistered run stops with the advice to register;
#  - the DLL as a host meets it (com_server_test: registration, type library,
#    resources, creation, steps, error objects, event-log entries, unloading,
#    unregistration) and the late-binding layer on its own (late_binding_test).
# Exits non-zero when anything fails.
#
# The 32-bit programs run only where Wine's 32-bit loader is installed, which
# scripts/install-deps.sh --windows does only on a machine whose kernel runs
# 32-bit programs. Elsewhere the x86 part is built and its exports checked, and
# the check says loudly that it did not run it; CORVANE_REQUIRE_WINE32=1 makes
# that a failure. CORVANE_WINDOWS_X86=0 leaves the x86 part out altogether
# (CI does, to keep within its time; the x86 build is the longer half of the
# check and runs where the check is run in full).
#
# Needs scripts/install-deps.sh --windows. CORVANE_WINDOWS_BUILD and
# CORVANE_WINDOWS_X86_BUILD name the build directories (default build-windows
# and build-windows-x86); CORVANE_LINUX_BUILD the Linux build whose corvane the
# reports are compared with (default build, which scripts/test.sh makes).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
x64_build=${CORVANE_WINDOWS_BUILD:-$root/build-windows}
x86_build=${CORVANE_WINDOWS_X86_BUILD:-$root/build-windows-x86}
linux_build=${CORVANE_LINUX_BUILD:-$root/build}
# A single Wine run is short; one that takes longer than this has hung.
export WINE_BUDGET=120
wine_budget=$WINE_BUDGET
# Wine reads the arguments it hands on as UTF-16 in the locale's character set.
export LC_ALL=C.UTF-8
# A name beyond ASCII for the folder the programs run from and the files they write.
beyond_ascii='Übersicht Συμβόλαια 契約書 𝄞'

for tool in x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-widl i686-w64-mingw32-g++-win32 \
  i686-w64-mingw32-widl i686-w64-mingw32-objdump wine wineserver cmake ninja python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "windows-check: $tool is missing; run scripts/install-deps.sh --windows" >&2
    exit 1
  fi
done
if [ ! -x "$linux_build/corvane" ]; then
  echo "windows-check: $linux_build/corvane is missing; build the Linux tree first" \
    "(scripts/test.sh does) or name it with CORVANE_LINUX_BUILD" >&2
  exit 1
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
  -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# Release without debug information: the builds are most of the check's time, and
# debug information of the static run-time libraries slows linking.
# build DIRECTORY TOOLCHAIN TARGET...
build() {
  local dir=$1 toolchain=$2
  shift 2
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$toolchain.cmake" "${launcher[@]}" >/dev/null
  nice -n 10 cmake --build "$dir" -j2 --target "$@"
}
programs=(CorvaneDll corvane com_server_test late_binding_test)
build "$x64_build" mingw-w64-x86_64 "${programs[@]}"

work=$(mktemp -d /tmp/corvane-wine.XXXXXX)
cleanup() {
  for prefix in "$work"/prefix-*; do
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
failed=0

fail() {
  echo "windows-check: $*" >&2
  failed=1
}

# Runs a Windows program, its output without carriage returns; a failing exit fails the check.
run() {
  echo "windows-check: $*"
  set +e
  timeout "$wine_budget" wine "$@" | tr -d '\r'
  local status=${PIPESTATUS[0]}
  set -e
  [ "$status" -eq 0 ] || fail "$1 FAILED (exit $status)"
}

# Every JSON file of the repository (outside a checkout, of the tree but the
# build directories); compare-scenarios.py leaves out those the scenario reader refuses.
mapfile -t corpus < <( (git -C "$root" ls-files '*.json' 2>/dev/null ||
  { cd "$root" && find . -name '*.json' -not -path './build*' | sed 's|^\./||'; }) | sort)

# The checks of one architecture, from the folder "$work/<name beyond ASCII> ARCH".
# SYSTEM is where its regsvr32 and cscript are: the system's own for x64, the
# 32-bit ones of a 64-bit prefix for x86.
check_architecture() {
  local arch=$1 build=$2 system=$3
  shift 3
  local files=("$@")
  local bin="$work/$beyond_ascii $arch"
  export WINEPREFIX=$work/prefix-$arch
  mkdir -p "$bin" "$WINEPREFIX"
  cp "$build"/Corvane.dll "$build"/corvane.exe "$build"/com_server_test.exe \
    "$build"/late_binding_test.exe "$bin"/
  timeout "$wine_budget" wine wineboot -i >/dev/null 2>&1
  cd "$bin"

  # A VBScript host on the DLL registered by regsvr32, judged by its summary line.
  echo "windows-check: $arch: regsvr32 Corvane.dll; cscript vbscript_host.vbs"
  timeout "$wine_budget" wine "${system}regsvr32.exe" /s Corvane.dll
  local script summary status
  script=$(winepath -w "$root/tests/windows/vbscript_host.vbs")
  summary=$(timeout "$wine_budget" wine "${system}cscript.exe" //nologo "$script" | tr -d '\r') ||
    true
  echo "$summary"
  grep -Eq '^[0-9]+ passed, 0 failed$' <<<"$summary" || fail "$arch: vbscript_host.vbs FAILED"
  # A host looks for the class in the registry's view of its own width (WOW64):
  # the x86 DLL's registration must be in the 32-bit view only, the x64 one's in
  # the 64-bit view only.
  local key='HKCR\CLSID\{3077EE4C-C191-4082-97D0-06A0B6A3C68C}\InprocServer32' own=64 other=32
  [ "$arch" = x86 ] && own=32 other=64
  timeout "$wine_budget" wine reg query "$key" "/reg:$own" >/dev/null 2>&1 ||
    fail "$arch: MarkAsVital's class is not in the $own-bit view of the registry"
  ! timeout "$wine_budget" wine reg query "$key" "/reg:$other" >/dev/null 2>&1 ||
    fail "$arch: MarkAsVital's class is in the $other-bit view of the registry"

  # corvane.exe: what needs no registration.
  run corvane.exe --version
  run corvane.exe describe MarkAsVital >/dev/null
  run corvane.exe classes >/dev/null
  # The help names the Windows module, and register refuses a registry directory,
  # since the DLL always registers itself under HKEY_CLASSES_ROOT.
  timeout "$wine_budget" wine corvane.exe --help 2>&1 | tr -d '\r' |
    grep -q 'register the classes of Corvane.dll' ||
    fail "$arch: corvane.exe --help does not name Corvane.dll"
  set +e
  timeout "$wine_budget" wine corvane.exe register --registry "$work/registry" \
    >/dev/null 2>"$work/register.err"
  status=$?
  set -e
  [ "$status" -eq 2 ] && grep -q 'HKEY_CLASSES_ROOT; leave out --registry' "$work/register.err" ||
    fail "$arch: corvane.exe register --registry DIR was not refused (exit $status)"
  # The class reference comes from the same tables on both systems.
  diff <(timeout "$wine_budget" wine corvane.exe describe --all --json | tr -d '\r') \
    <("$linux_build/corvane" describe --all --json) >"$work/describe.diff" ||
    fail "$arch: describe --all --json differs from the Linux tool's:" \
      "$(head -20 "$work/describe.diff")"
  # So do the classes' checks: of every example, and of a Notify step with four
  # mistakes (exit 1 on both sides for its errors).
  local checked=(tests/windows/scenarios/notify-design-mistakes.json) file
  for file in "${files[@]}"; do [[ $file == examples/* ]] && checked+=("$file"); done
  diff <(cd "$root" && { timeout "$wine_budget" wine "$bin/corvane.exe" check --json \
    "${checked[@]}" || echo "exit $?"; } | tr -d '\r') \
    <(cd "$root" && { "$linux_build/corvane" check --json "${checked[@]}" || echo "exit $?"; }) \
    >"$work/check.diff" ||
    fail "$arch: check --json differs from the Linux tool's:" "$(head -20 "$work/check.diff")"

  # The scenarios, named from the source tree so that both reports name them alike.
  (cd "$root" && python3 "$root/scripts/compare-scenarios.py" "$arch" "$linux_build/corvane" \
    "$bin/corvane.exe" "${files[@]}") || failed=1
  # A scenario and its JUnit file under names beyond ASCII: the argument, the
  # file read and the file written must all be the names given.
  local scenario="$beyond_ascii.json" junit="$beyond_ascii.xml"
  cp "$root/tests/windows/scenarios/export-folders-beyond-ascii.json" "$scenario"
  python3 "$root/scripts/compare-scenarios.py" "$arch, names beyond ASCII" \
    "$linux_build/corvane" corvane.exe "$scenario" || failed=1
  timeout "$wine_budget" wine corvane.exe run --junit "$junit" "$scenario" >/dev/null || true
  grep -q "name=\"$scenario\"" "$junit" 2>/dev/null ||
    fail "$arch: no JUnit file \"$junit\" naming \"$scenario\""
  timeout "$wine_budget" wine "${system}regsvr32.exe" /u /s Corvane.dll

  # Unregistered, a run stops before its report, with the advice to register.
  echo "windows-check: $arch: corvane.exe run with Corvane.dll unregistered"
  set +e
  timeout "$wine_budget" wine corvane.exe run "$scenario" >"$work/unregistered.out" \
    2>"$work/unregistered.err"
  status=$?
  set -e
  tr -d '\r' <"$work/unregistered.err"
  [ "$status" -eq 2 ] && [ ! -s "$work/unregistered.out" ] &&
    grep -q 'regsvr32 Corvane.dll' "$work/unregistered.err" ||
    fail "$arch: an unregistered run did not stop with exit 2 and the advice to register" \
      "(exit $status)"

  # Wine keeps no event log, but reports each error entry of ReportEventW on its
  # error channel, text beyond ASCII as \xxxx: the failing steps of com_server_test
  # log one entry per failed call, the description alone.
  WINEDEBUG=-all,err+eventlog run com_server_test.exe Corvane.dll 2>"$work/eventlog.txt"
  local logged expected
  logged=$(grep -o 'ReportEventW L".*"' "$work/eventlog.txt" || true)
  expected='ReportEventW L"database 7 is offline: \00dcbersicht \03a3\03c5\03bc\03b2\03cc\03bb\03b1\03b9\03b1 \5951\7d04\66f8 \d834\dd1e"
ReportEventW L"database 7 is offline: \00dcbersicht \03a3\03c5\03bc\03b2\03cc\03bb\03b1\03b9\03b1 \5951\7d04\66f8 \d834\dd1e"
ReportEventW L"Object doesn'"'"'t support this property or method"'
  [ "$logged" = "$expected" ] ||
    fail "$arch: event-log entries differ; expected:"$'\n'"$expected"$'\n'"got:"$'\n'"$logged"
  run late_binding_test.exe
  cd "$root"
}

check_architecture x64 "$x64_build" "" "${corpus[@]}"

if [ "${CORVANE_WINDOWS_X86:-1}" = 0 ]; then
  echo "windows-check: x86: LEFT OUT (CORVANE_WINDOWS_X86=0):" \
    "the 32-bit Corvane.dll was neither built nor run" >&2
  [ "$failed" -ne 0 ] && { echo "windows-check: FAILED" >&2; exit 1; }
  echo "windows-check: passed (x64 only)"
  exit 0
fi

# Without Wine's 32-bit loader nothing 32-bit runs here: only the DLL is built,
# to check its exports.
wine32=0
if [ -x /usr/lib/wine/wine ] || [ -x /usr/lib/i386-linux-gnu/wine/wine ]; then wine32=1; fi
if [ "$wine32" = 1 ]; then
  build "$x86_build" mingw-w64-i686 "${programs[@]}"
else
  build "$x86_build" mingw-w64-i686 CorvaneDll
fi
# The x86 DLL's COM entry points are __stdcall; COM looks them up by their plain
# names, so it must export them so.
exports=$(i686-w64-mingw32-objdump -p "$x86_build/Corvane.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 | grep -o '[A-Za-z@_0-9]*$' |
  sort | tr '\n' ' ')
expected_exports='CorvaneGetContract CorvaneSetDecisionObserver CorvaneSetPlatform DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer '
[ "$exports" = "$expected_exports" ] ||
  fail "the 32-bit Corvane.dll exports: $exports; expected: $expected_exports"

if [ "$wine32" = 1 ]; then
  check_architecture x86 "$x86_build" 'C:\windows\syswow64\' "${corpus[@]}"
else
  echo "windows-check: x86: NOT RUN: Wine's 32-bit loader (wine32) is not installed;" \
    "scripts/install-deps.sh --windows installs it where the kernel runs 32-bit programs." \
    "The 32-bit Corvane.dll was built and its exports checked, nothing more." >&2
  [ "${CORVANE_REQUIRE_WINE32:-0}" = 1 ] && failed=1
fi

if [ "$failed" -ne 0 ]; then
  echo "windows-check: FAILED" >&2
  exit 1
fi
echo "windows-check: passed"
