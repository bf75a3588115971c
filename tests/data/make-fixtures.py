#!/usr/bin/env python3
"""Makes the Intel HEX fixtures with real toolchains (srec_cat, objcopy) and
writes what each must read as to fixtures.tsv, computed from the binary data
itself, not from the HEX text. Run from this folder; the outputs are committed."""
import random
import subprocess
import tempfile
import os


def crc16_x25(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc ^ 0xFFFF


def segments(start, data):
    """Splits data loaded at `start` into 64 KiB windows: (base, size, records, crc)."""
    out = []
    addr, pos = start, 0
    while pos < len(data):
        base = addr & 0xFFFF0000
        take = min(len(data) - pos, base + 0x10000 - addr)
        chunk = data[pos:pos + take]
        out.append((base, len(chunk), (len(chunk) + 15) // 16, crc16_x25(chunk)))
        addr += take
        pos += take
    return out


def crlf(name, src):
    with open(src, 'rb') as f:
        text = f.read().replace(b'\r\n', b'\n')
    with open(name, 'wb') as f:
        f.write(text.replace(b'\n', b'\r\n'))


def lf(name, src):
    with open(src, 'rb') as f:
        text = f.read().replace(b'\r\n', b'\n')
    with open(name, 'wb') as f:
        f.write(text)


rows = []
tmp = tempfile.mkdtemp()
rng = random.Random(20261206)

for name, start, size in [('srec-two-segments', 0x08004000, 0xC000 + 0x108),
                          ('srec-three-segments', 0x08004000, 0xC000 + 0x10000 + 0x30)]:
    data = bytes(rng.randrange(256) for _ in range(size))
    binf = os.path.join(tmp, name + '.bin')
    open(binf, 'wb').write(data)
    out = os.path.join(tmp, name + '.hex')
    subprocess.check_call(['srec_cat', binf, '-binary', '-offset', hex(start), '-o', out, '-intel',
                           '-line-length=44', '-execution-start-address=' + hex(start)])
    lf(name + '-lf.hex', out)
    crlf(name + '-crlf.hex', out)
    for suffix in ('-lf.hex', '-crlf.hex'):
        for i, s in enumerate(segments(start, data)):
            rows.append((name + suffix, i) + s)

name, start, size = 'objcopy-one-segment', 0x08004000, 1000
data = bytes(rng.randrange(256) for _ in range(size))
binf = os.path.join(tmp, name + '.bin')
open(binf, 'wb').write(data)
out = os.path.join(tmp, name + '.hex')
subprocess.check_call(['objcopy', '-I', 'binary', '-O', 'ihex', '--change-addresses', hex(start),
                       '--set-start', hex(start), binf, out])
crlf(name + '-crlf.hex', out)
lf(name + '-lf.hex', out)
for suffix in ('-lf.hex', '-crlf.hex'):
    for i, s in enumerate(segments(start, data)):
        rows.append((name + suffix, i) + s)

with open('fixtures.tsv', 'w') as f:
    f.write('# file\tsegment\tbase\tsize\trecords\tcrc\n')
    for r in rows:
        f.write('%s\t%d\t0x%08X\t%d\t%d\t0x%04X\n' % r)
