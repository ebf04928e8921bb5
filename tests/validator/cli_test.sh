#!/usr/bin/env bash
# The validator's command line and reports: --help, unknown check names, one
# clear line for a plug-in that cannot be loaded, the plug-in's messages
# summarised rather than printed, and no comma decimals after the locale check.
# Usage: cli_test.sh VALIDATOR PLUGIN.so NO_ENTRY.so BAD_RECORD.so CRASHING.so
set -uo pipefail
validator=$1 plugin=$2 noEntry=$3 badRecord=$4 crashing=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run ARGS...: status in $status, output in $work/out and $work/err.
run() { "$validator" "$@" >"$work/out" 2>"$work/err"; status=$?; }

run --help
[ "$status" = 0 ] || fail "--help exits $status"
grep -q 'Usage:.*PLUGIN' "$work/out" || fail "--help prints no usage line"

for only in nonsense info,nonsense; do
  run "$plugin" --only "$only"
  [ "$status" = 2 ] || fail "--only $only exits $status, want 2"
  for name in lifecycle fuzz locale negative-chunk-size; do
    grep -q "$name" "$work/err" || fail "--only $only: the message does not list $name"
  done
  [ -s "$work/out" ] && fail "--only $only: printed a report: $(head -1 "$work/out")"
done
run "$plugin" --strictness 11
[ "$status" = 2 ] || fail "--strictness 11 exits $status, want 2"

# expectLoadError PATH PATTERN: one line on standard error, nothing else, status 1.
expectLoadError() {
  run "$1"
  [ "$status" = 1 ] || fail "$1: exit status $status, want 1"
  local lines
  lines=$(cat "$work/out" "$work/err" | wc -l)
  [ "$lines" = 1 ] || { fail "$1: $lines lines of output, want 1:"; cat "$work/out" "$work/err"; }
  grep -q "^brindlewave-validate: cannot load .*$2" "$work/err" || fail "$1: no \"$2\" in: $(cat "$work/err")"
}
expectLoadError "$work/missing.so" "no such file"
printf 'not a library\n' >"$work/text.so"
expectLoadError "$work/text.so" "not a loadable shared library"
expectLoadError "$work" "directory"
expectLoadError "$noEntry" "no VSTPluginMain or main entry point"
expectLoadError "$badRecord" "VstP magic"
expectLoadError "$crashing" "crashed while loading"

# The info check asks for bad parameter indexes, which the plug-in reports:
# counted in the summary, in both ways of running the checks.
for mode in fork --no-fork; do
  args=("$plugin" --only info); [ "$mode" = fork ] || args+=("$mode")
  run "${args[@]}"
  [ "$status" = 0 ] || fail "$mode: --only info exits $status"
  grep -q '^Brindlewave:' "$work/err" && fail "$mode: the plug-in's messages reached standard error"
  grep -Eq '^ +[0-9]+  .*\[info\]$' "$work/out" || fail "$mode: no summary of the plug-in's messages"
  tail -n 1 "$work/out" | grep -Eqx "[1-9][0-9]* passed, 0 failed" || fail "$mode: last line \"$(tail -n 1 "$work/out")\""
done

# In one process, the reports after the locale check keep full stops.
run "$plugin" --only locale,badchunks --no-fork
grep -q 'slowest [0-9]*\.[0-9]* s' "$work/out" || fail "after the locale check: $(grep slowest "$work/out")"

[ "$failures" = 0 ] && echo "all validator command-line cases passed"
[ "$failures" = 0 ]
