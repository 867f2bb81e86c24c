#!/usr/bin/env bash
# Cross-builds Corvane.dll, its test programs and corvane.exe with mingw-w64,
# then runs them under Wine in a fresh prefix (a reused one hides registration
# faults): with the DLL registered by regsvr32, a VBScript host; then every
# scenario of examples/ and tests/windows/scenarios/ is run by corvane.exe
# (each step created through COM from the registered DLL) and by the Linux
# corvane, and the two JSON reports must be the same but for the module path and
# the registry; then the DLL as a host meets it (registration, type library,
# resources, creation, steps against an automation host, error objects,
# unloading, unregistration) and the late-binding layer on its own (values,
# calls by name, enumerations, the library's objects, error numbers).
# Exits non-zero when anything fails.
#
# Needs scripts/install-deps.sh --windows. CORVANE_WINDOWS_BUILD names the
# build directory (default build-windows); CORVANE_LINUX_BUILD the Linux build
# whose corvane the reports are compared with (default build, which
# scripts/test.sh makes); CORVANE_WINDOWS_X86_BUILD the 32-bit build (default
# build-windows-x86), which is built only.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_WINDOWS_BUILD:-$root/build-windows}
linux_build=${CORVANE_LINUX_BUILD:-$root/build}
x86_build=${CORVANE_WINDOWS_X86_BUILD:-$root/build-windows-x86}
# The Wine part is small; a run that takes longer than this has hung.
wine_budget=120

for tool in x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-widl i686-w64-mingw32-g++-win32 \
  i686-w64-mingw32-widl i686-w64-mingw32-objdump wine wineserver cmake ninja python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "windows-check: $tool is missing; run scripts/install-deps.sh --windows" >&2
    exit 1
  fi
done

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
  -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# Release without debug information: the builds below are most of the check's
# time, and debug information of the static run-time libraries slows linking.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" "${launcher[@]}" >/dev/null
nice -n 10 cmake --build "$build" -j2 --target CorvaneDll corvane com_server_test \
  late_binding_test
if [ ! -x "$linux_build/corvane" ]; then
  echo "windows-check: $linux_build/corvane is missing; build the Linux tree first" \
    "(scripts/test.sh does) or name it with CORVANE_LINUX_BUILD" >&2
  exit 1
fi

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

# Each scenario of examples/ (and of tests/windows/scenarios/, the failures of the
# tool's own platform raised inside the DLL) run by corvane.exe under Wine and by
# the Linux tool, from the source tree so that both name the file alike. The reports must agree
# in everything but each scenario's module path and registry: a difference is a
# defect of one of the two bindings.
compare_scenarios() {
  local file same=0 different=0 windows_status linux_status
  local reports=$prefix/reports
  mkdir -p "$reports"
  while IFS= read -r file; do
    set +e
    (cd "$root" && timeout "$wine_budget" wine "$build/corvane.exe" run --json "$file") \
      2>"$reports/windows.err" | tr -d '\r' >"$reports/windows.json"
    windows_status=${PIPESTATUS[0]}
    (cd "$root" && "$linux_build/corvane" run --json "$file") \
      >"$reports/linux.json" 2>"$reports/linux.err"
    linux_status=$?
    python3 - "$reports/linux.json" "$reports/windows.json" >"$reports/diff.txt" <<'PY'
import difflib, json, sys

def normalised(path, side):
    try:
        with open(path, encoding="utf-8") as f:
            report = json.load(f)
    except (OSError, ValueError) as e:
        print(f"no JSON report {side}: {e}")
        sys.exit(1)
    for scenario in report.get("scenarios", []):
        scenario.pop("module", None)
        scenario.pop("registry", None)
    return json.dumps(report, indent=1, sort_keys=True, ensure_ascii=False).splitlines()

linux = normalised(sys.argv[1], "on Linux")
windows = normalised(sys.argv[2], "under Wine")
diff = list(difflib.unified_diff(linux, windows, "linux", "windows", n=2, lineterm=""))
print("\n".join(diff[:40]))
sys.exit(1 if diff else 0)
PY
    local compared=$?
    set -e
    if [ "$compared" -eq 0 ] && [ "$windows_status" -eq "$linux_status" ]; then
      echo "windows-check: same report  $file"
      same=$((same + 1))
    else
      echo "windows-check: DIFFERENT    $file (exit $linux_status on Linux," \
        "$windows_status under Wine)" >&2
      sed 's/^/    /' "$reports/diff.txt" "$reports/windows.err" >&2
      different=$((different + 1))
    fi
  done < <(cd "$root" && find examples tests/windows/scenarios -name '*.json' | sort)
  echo "windows-check: scenarios: $same the same on both, $different different"
  if [ "$different" -ne 0 ] || [ "$same" -eq 0 ]; then
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

# corvane.exe: what needs no registration, then every example through COM.
run corvane.exe --version
run corvane.exe describe MarkAsVital >/dev/null
# The help names the Windows module, and register refuses a registry directory,
# since the DLL always registers itself under HKEY_CLASSES_ROOT.
if ! timeout "$wine_budget" wine corvane.exe --help 2>&1 | tr -d '\r' |
  grep -q 'register the classes of Corvane.dll'; then
  echo "windows-check: corvane.exe --help does not name Corvane.dll" >&2
  failed=1
fi
set +e
timeout "$wine_budget" wine corvane.exe register --registry "$prefix/registry" \
  >/dev/null 2>"$prefix/register.err"
status=$?
set -e
if [ "$status" -ne 2 ] || ! grep -q 'HKEY_CLASSES_ROOT; leave out --registry' "$prefix/register.err"; then
  echo "windows-check: corvane.exe register --registry DIR was not refused (exit $status)" >&2
  failed=1
fi
# The class reference comes from the same tables on both systems.
if ! diff <(timeout "$wine_budget" wine corvane.exe describe --all --json | tr -d '\r') \
  <("$linux_build/corvane" describe --all --json) >"$prefix/describe.diff"; then
  echo "windows-check: describe --all --json differs from the Linux tool's:" >&2
  head -20 "$prefix/describe.diff" >&2
  failed=1
fi
run corvane.exe classes >/dev/null
compare_scenarios
timeout "$wine_budget" wine regsvr32 /u /s Corvane.dll

# Unregistered, a run stops before its report, with the advice to register.
echo "windows-check: corvane.exe run with Corvane.dll unregistered"
set +e
(cd "$root" && timeout "$wine_budget" wine "$build/corvane.exe" run \
  examples/records/mark-as-vital.json) >"$prefix/unregistered.out" 2>"$prefix/unregistered.err"
status=$?
set -e
tr -d '\r' <"$prefix/unregistered.err"
if [ "$status" -ne 2 ] || [ -s "$prefix/unregistered.out" ] ||
  ! grep -q 'regsvr32 Corvane.dll' "$prefix/unregistered.err"; then
  echo "windows-check: an unregistered run did not stop with exit 2 and the advice" \
    "to register (exit $status)" >&2
  failed=1
fi

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

# The 32-bit DLL is built but not run: Wine here runs x64 programs only. Its COM
# entry points are __stdcall, so the check is that it exports them by their
# plain names, as COM looks them up. Nothing runs it, so it is built unoptimised
# (no build type), which compiles faster than an optimised build.
echo "windows-check: 32-bit Corvane.dll (built, not run: Wine here runs x64 only)"
cmake -S "$root" -B "$x86_build" -G Ninja -DCMAKE_BUILD_TYPE= -DBUILD_TESTING=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-i686.cmake" "${launcher[@]}" >/dev/null
nice -n 10 cmake --build "$x86_build" -j2 --target CorvaneDll
exports=$(i686-w64-mingw32-objdump -p "$x86_build/Corvane.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 | grep -o '[A-Za-z@_0-9]*$' |
  sort | tr '\n' ' ')
expected_exports='CorvaneGetContract CorvaneSetDecisionObserver CorvaneSetPlatform DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer '
if [ "$exports" != "$expected_exports" ]; then
  echo "windows-check: the 32-bit Corvane.dll exports: $exports" >&2
  echo "  expected: $expected_exports" >&2
  failed=1
fi

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "windows-check: passed"
