#!/usr/bin/env bash
# The raw renders of the plug-in through each engine form this machine runs
# agree bit for bit, and the comparison tells an ulp-sized difference (within
# tolerance) from a real one (a failure).
# Usage: compare_test.sh RENDER_RAW PLUGIN COMPARE_SCRIPT
set -euo pipefail
render=$1 plugin=$2 compare=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/fast" "$work/baseline" "$work/edited"

"$render" "$plugin" "$work/fast"
BRINDLEWAVE_NO_AVX2=1 "$render" "$plugin" "$work/baseline"
[ "$(ls "$work/fast" | wc -l)" -ge 20 ] || { echo "too few scenarios rendered"; exit 1; }
"$compare" "$work/fast" "$work/baseline" | tail -1 | grep -q "0 failed" || {
    echo "the engine forms differ"; "$compare" "$work/fast" "$work/baseline"; exit 1; }

# One sample nudged by an ulp: within tolerance, not identical; by 0.01: a failure.
nudge() {  # nudge FROM TO STEP
    python3 - "$1" "$2" "$3" <<'PY'
import array, sys
a = array.array("f"); a.frombytes(open(sys.argv[1], "rb").read())
i = max(range(len(a)), key=lambda k: abs(a[k]))
step = float(sys.argv[3])
a[i] = a[i] + (abs(a[i]) * 1.2e-7 if step == 0 else step)
open(sys.argv[2], "wb").write(a.tobytes())
PY
}
cp "$work/fast/defaults.f32" "$work/edited/defaults.f32"
nudge "$work/fast/defaults.f32" "$work/edited/defaults.f32" 0
out=$("$compare" "$work/fast" "$work/edited" || true)
echo "$out" | grep -q "defaults.f32: within tolerance" || { echo "an ulp was not within tolerance: $out"; exit 1; }
nudge "$work/fast/defaults.f32" "$work/edited/defaults.f32" 0.01
if "$compare" "$work/fast" "$work/edited" >/dev/null; then echo "a difference of 0.01 passed"; exit 1; fi
echo "ok"
