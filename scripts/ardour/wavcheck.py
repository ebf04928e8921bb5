"""Reads a 32-bit float WAV: fails unless every sample is finite and the peak is
audible. With a second WAV, also fails unless that one holds the same samples
(to within 1e-5)."""
import math, struct, sys

def read(path):
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", "not a WAV file: " + path
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
    assert samples, "no samples in " + path
    return fmt, samples

fmt, samples = read(sys.argv[1])
bad = sum(1 for s in samples if not math.isfinite(s))
peak = max(abs(s) for s in samples if math.isfinite(s))
print("%d samples, %d channels, %d Hz, peak %.4f, %d non-finite" % (len(samples), fmt[1], fmt[2], peak, bad))
ok = bad == 0 and peak > 1e-3
if len(sys.argv) > 2:
    other_fmt, other = read(sys.argv[2])
    if other_fmt != fmt or len(other) != len(samples):
        print("%s: %d samples in format %r, want %d in %r" % (sys.argv[2], len(other), other_fmt, len(samples), fmt))
        ok = False
    else:
        diff = max(abs(a - b) if math.isfinite(a - b) else math.inf for a, b in zip(samples, other))
        print("%s: largest difference %.3g" % (sys.argv[2], diff))
        ok = ok and diff <= 1e-5
sys.exit(0 if ok else 1)
