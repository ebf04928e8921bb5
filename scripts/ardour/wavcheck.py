"""Reads a 32-bit float WAV: fails unless every sample is finite and the peak is audible."""
import math, struct, sys

data = open(sys.argv[1], "rb").read()
assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", "not a WAV file"
pos, fmt, samples = 12, None, None
while pos + 8 <= len(data):
    tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
    body = data[pos + 8:pos + 8 + size]
    if tag == b"fmt ":
        fmt = struct.unpack("<HHIIHH", body[:16])
    elif tag == b"data":
        samples = struct.unpack("<%df" % (len(body) // 4), body[:len(body) // 4 * 4])
    pos += 8 + size + (size & 1)
assert fmt and fmt[0] in (3, 0xFFFE) and fmt[5] == 32, "not 32-bit float: %r" % (fmt,)
assert samples, "no samples"
bad = sum(1 for s in samples if not math.isfinite(s))
peak = max(abs(s) for s in samples if math.isfinite(s))
print("%d samples, %d channels, %d Hz, peak %.4f, %d non-finite" % (len(samples), fmt[1], fmt[2], peak, bad))
sys.exit(0 if bad == 0 and peak > 1e-3 else 1)
