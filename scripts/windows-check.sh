#!/usr/bin/env bash
# Cross-builds Corvane.dll and its test program with mingw-w64, then runs the
# test under Wine in a fresh prefix (a reused one hides registration faults):
# with the DLL registered by regsvr32, a VBScript host and the same steps run
# both on the linked core and through the DLL with the simulator as automation
# objects; then the DLL as a host meets it (registration, type library,
# resources, creation, steps against an automation host, error objects,
# unloading, unregistration) and the late-binding layer on its own (values,
# calls by name, enumerations, the library's objects, error numbers).
# Exits non-zero when anything fails.
#
# Needs scripts/install-deps.sh --windows. CORVANE_WINDOWS_BUILD names the
# build directory (default build-windows).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_WINDOWS_BUILD:-$root/build-windows}
# The Wine part is small; a run that takes longer than this has hung.
wine_budget=120

for tool in x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-widl wine wineserver cmake ninja; do
  if ! command -v "$tool" >/dev/null; then
    echo "windows-check: $tool is missing; run scripts/install-deps.sh --windows" >&2
    exit 1
  fi
done

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
  -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" "${launcher[@]}" >/dev/null
nice -n 10 cmake --build "$build" -j2 --target CorvaneDll com_server_test late_binding_test \
  same_steps_test

prefix=$(mktemp -d /tmp/corvane-wine.XXXXXX)
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
timeout "$wine_budget" wine wineboot -i >/dev/null 2>&1

cd "$build"
failed=0
run() {
  echo "windows-check: $*"
  set +e
  timeout "$wine_budget" wine "$@" | tr -d '\r'
  local status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 0 ]; then
    echo "windows-check: $1 FAILED (exit $status)" >&2
    failed=1
  fi
}

# A VBScript host on the DLL registered by regsvr32, judged by its summary line.
echo "windows-check: regsvr32 Corvane.dll; cscript vbscript_host.vbs"
timeout "$wine_budget" wine regsvr32 /s Corvane.dll
script=$(winepath -w "$root/tests/windows/vbscript_host.vbs")
summary=$(timeout "$wine_budget" wine cscript //nologo "$script" | tr -d '\r') || true
echo "$summary"
if ! grep -Eq '^[0-9]+ passed, 0 failed$' <<<"$summary"; then
  echo "windows-check: vbscript_host.vbs FAILED" >&2
  failed=1
fi
run same_steps_test.exe
timeout "$wine_budget" wine regsvr32 /u /s Corvane.dll

# Wine keeps no event log, but reports each error entry of ReportEventW on its
# error channel: the failing steps of com_server_test log one entry per failed
# call, the description alone.
WINEDEBUG=-all,err+eventlog run com_server_test.exe Corvane.dll 2>"$prefix/eventlog.txt"
logged=$(grep -o 'ReportEventW L".*"' "$prefix/eventlog.txt" || true)
expected='ReportEventW L"database 7 is offline"
ReportEventW L"database 7 is offline"
ReportEventW L"Object doesn'"'"'t support this property or method"'
if [ "$logged" != "$expected" ]; then
  echo "windows-check: event-log entries differ; expected:" >&2
  echo "$expected" >&2
  echo "got:" >&2
  echo "$logged" >&2
  failed=1
fi
run late_binding_test.exe
if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "windows-check: passed"
