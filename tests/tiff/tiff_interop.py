#!/usr/bin/python3
"""TIFF files of an independent writer and reader (tifffile) through `zolt`.

Reading: tifffile writes a TIFF, `zolt convert` turns it into a ZOLT file, and
the ZOLT file is parsed here by its documented layout and compared with the
array written, sample for sample. Writing: that checked ZOLT file goes back
to TIFF through `zolt convert`, and tifffile reads it back. Refusals: damaged
or unsupported files and complex images write nothing.
    tiff_interop.py PATH-TO-ZOLT-TOOL
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

import numpy as np
import tifffile
from PIL import Image

ZOLT = sys.argv[1]
TYPES = {0x1204: '<c8', 0x401: 'u1', 0x101: 'i1', 0x402: '<u2', 0x102: '<i2', 0x104: '<i4', 0x204: '<f4', 0x208: '<f8'}
failures = []


def zolt(*args):
    return subprocess.run([ZOLT, *args], capture_output=True, text=True)


def read_zolt(path):
    """The samples (frames, rows, columns) and per-dimension (units, scale) of a ZOLT file."""
    b = open(path, 'rb').read()
    assert b[:4] == b'ZOL\0', 'not a ZOLT file'
    code, esize, ndim = struct.unpack_from('<Iii', b, 228)
    dims = []
    for k in range(ndim):
        length, num = struct.unpack_from('<ii', b, 256 + 64 * k)
        units = b[256 + 64 * k + 16:256 + 64 * k + 24].split(b'\0')[0].decode()
        scale, = struct.unpack_from('<f', b, 256 + 64 * k + 24)
        dims.append((num, length, units, scale))
    dims.sort()
    n = int(np.prod([d[1] for d in dims])) * esize
    raw = b[512:512 + n] if b[255] == 0 else zlib.decompressobj().decompress(b[512:])[:n]
    shape = [d[1] for d in dims][::-1]
    return np.frombuffer(raw, TYPES[code]).reshape(shape), code, [(d[2], d[3]) for d in dims]


def check(name, ok, detail=''):
    if not ok:
        failures.append(f'{name}: {detail}')


def sample(dtype, shape, seed):
    rng = np.random.default_rng(seed)
    dt = np.dtype(dtype)
    if dt.kind == 'f':
        return (rng.standard_normal(shape) * 1e3).astype(dt)
    info = np.iinfo(dt)
    return rng.integers(info.min, info.max, size=shape, endpoint=True, dtype=dt.newbyteorder('=')).astype(dt)


tmp = tempfile.mkdtemp(prefix='tiffinterop')


def path(name):
    return os.path.join(tmp, name)


# name, array as tifffile gets it, tifffile options, expected ZOLT code, expected
# (frames, rows, columns) samples.
grey = [(d, c) for d, c in [('u1', 0x401), ('i1', 0x101), ('u2', 0x402), ('i2', 0x102), ('i4', 0x104),
                            ('u4', 0x208), ('f4', 0x204), ('f8', 0x208)]]
cases = []
for i, (dt, code) in enumerate(grey):
    order = '<>'[i % 2]
    comp = [None, 'zlib'][i % 2]
    a = sample(order + dt, (3, 5, 7), i)
    cases.append((f'{dt} stack {order} {comp}', a, dict(byteorder=order, compression=comp,
                  photometric='minisblack'), code, a.astype(a.dtype.newbyteorder('=')).astype(np.float64)))
t = sample('<u2', (2, 20, 37), 11)
cases.append(('u16 tiles deflate predictor', t, dict(tile=(16, 16), compression='zlib', predictor=True,
              photometric='minisblack'), 0x402, t))
f = sample('>f4', (1, 9, 6), 12)[0]
cases.append(('one f32 page is 2-D', f, dict(byteorder='>', photometric='minisblack'), 0x204, f))
rgb = sample('u1', (4, 6, 3), 13)
cases.append(('RGB interleaved', rgb, dict(photometric='rgb'), 0x401, np.moveaxis(rgb, -1, 0)))
rgba = sample('u1', (4, 6, 4), 14)
cases.append(('RGBA drops alpha', rgba, dict(photometric='rgb', extrasamples=['unassalpha']), 0x401,
              np.moveaxis(rgba[..., :3], -1, 0)))
planar = sample('<u2', (2, 3, 4, 5), 15)  # two pages of planar RGB: frames r0 g0 b0 r1 g1 b1
cases.append(('RGB planar, two pages', planar, dict(photometric='rgb', planarconfig='separate',
              compression='zlib'), 0x402, planar.reshape(6, 4, 5)))
# LZW and PackBits through Pillow's libtiff encoder (tifffile alone has none).
lzw = sample('u1', (9, 11), 16)
cases.append(('u8 LZW', lzw, dict(pil='tiff_lzw'), 0x401, lzw))
pb = sample('<u2', (7, 13), 17)
pb[2:5] = 4000  # runs as well as literals
cases.append(('u16 PackBits', pb, dict(pil='packbits'), 0x402, pb))

for name, a, opts, code, want in cases:
    src, zol, back = path('in.tif'), path('mid.zol'), path('back.tif')
    for p in (zol, back):
        if os.path.exists(p):
            os.remove(p)
    if 'pil' in opts:
        Image.fromarray(a).save(src, compression=opts['pil'])
    else:
        tifffile.imwrite(src, a, **opts)
    r = zolt('convert', src, zol)
    if r.returncode != 0:
        check(name, False, 'read failed: ' + r.stderr.strip())
        continue
    got, gotcode, _ = read_zolt(zol)
    want = np.asarray(want)
    check(name, gotcode == code, f'type code 0x{gotcode:x}, expected 0x{code:x}')
    check(name, got.shape == want.squeeze().shape or got.shape == want.shape, f'shape {got.shape} vs {want.shape}')
    check(name, np.array_equal(got.astype(np.float64).ravel(), want.astype(np.float64).ravel()), 'samples differ')
    # ... and back: the checked ZOLT file as TIFF, read by tifffile.
    r = zolt('convert', zol, back)
    if r.returncode != 0:
        check(name, False, 'write failed: ' + r.stderr.strip())
        continue
    b = tifffile.imread(back)
    check(name + ' written', np.array_equal(b.ravel(), got.ravel()) and b.dtype == got.dtype.newbyteorder('='),
          f"written samples differ ({b.dtype}, {b.shape}, {got.dtype}, {got.shape}, {np.array_equal(b.ravel(), got.ravel())})")

# Calibration both ways: ImageJ pixel size and spacing in micrometres, and the
# resolution tags in pixels per centimetre.
cal = sample('u2', (4, 3, 5), 20)
tifffile.imwrite(path('cal.tif'), cal, imagej=True, resolution=(1 / 0.25, 1 / 0.5),
                 metadata={'spacing': 2.5, 'unit': 'um'})
zolt('convert', path('cal.tif'), path('cal.zol'))
_, _, dims = read_zolt(path('cal.zol'))
check('ImageJ calibration read', dims == [('um', 0.25), ('um', 0.5), ('um', 2.5)], str(dims))
zolt('convert', path('cal.zol'), path('cal2.tif'))
with tifffile.TiffFile(path('cal2.tif')) as tf:
    ij = tf.imagej_metadata or {}
    check('ImageJ calibration written', tf.series[0].shape == (4, 3, 5) and ij.get('images') == 4 and
          ij.get('unit') in ('micron', 'um') and ij.get('spacing') == 2.5 and
          np.allclose(tf.pages[0].resolution, (4, 2)), f'{ij} {tf.pages[0].resolution}')
tifffile.imwrite(path('cm.tif'), cal[0], resolution=(1000, 2000), resolutionunit='CENTIMETER')
zolt('convert', path('cm.tif'), path('cm.zol'))
_, _, dims = read_zolt(path('cm.zol'))
check('centimetre resolution read as um', [u for u, _ in dims] == ['um', 'um'] and
      np.allclose([s for _, s in dims], [10, 5]), str(dims))

# ImageJ's one-directory form: one IFD, the other images' data following the first.
one = sample('<u2', (3, 4, 6), 21)
tifffile.imwrite(path('one.tif'), one[0], description='ImageJ=1.53t\nimages=3\nslices=3\n', metadata=None)
with tifffile.TiffFile(path('one.tif')) as tf:
    end = tf.pages[0].dataoffsets[0] + tf.pages[0].databytecounts[0]
check('one-directory seed ends with its data', end == os.path.getsize(path('one.tif')))
with open(path('one.tif'), 'ab') as fh:
    fh.write(one[1:].tobytes())
zolt('convert', path('one.tif'), path('one.zol'))
got, _, _ = read_zolt(path('one.zol')) if os.path.exists(path('one.zol')) else (None, 0, 0)
check('ImageJ one-directory stack', got is not None and np.array_equal(got, one), 'not read as 3 frames')

# Refusals: nothing written, a message naming the file.
odd = path('odd.tif')
with tifffile.TiffWriter(odd) as tw:
    tw.write(np.zeros((4, 5), 'u1'))
    tw.write(np.zeros((4, 6), 'u1'))
w, h = 65536, 65536  # a 8 GiB page announced by a file of a few hundred bytes
ifd = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, 16), (259, 3, 1, 1), (262, 3, 1, 1), (273, 4, 1, 8),
       (278, 4, 1, h), (279, 4, 1, w * h * 2 & 0xffffffff)]
huge = b'II*\0' + struct.pack('<I', 16) + b'\0' * 8 + struct.pack('<H', len(ifd)) + \
    b''.join(struct.pack('<HHII', *e) for e in ifd) + b'\0\0\0\0'
open(path('huge.tif'), 'wb').write(huge)
good = open(path('in.tif'), 'rb').read()
open(path('short.tif'), 'wb').write(good[:len(good) // 2])
for name, bad, why in [('pages of two sizes', odd, 'page 2'), ('absurd size', path('huge.tif'), 'more data'),
                       ('truncated', path('short.tif'), '')]:
    out = path('refused.zol')
    r = zolt('convert', bad, out)
    check('refuses ' + name, r.returncode != 0 and not os.path.exists(out) and bad in r.stderr and why in r.stderr,
          r.stderr.strip())
tifffile.imwrite(path('sq.tif'), np.ones((8, 8), 'f4'))
zolt('op', 'fft', path('sq.tif'), '-o', path('c.zol'))
check('an FFT result is complex', read_zolt(path('c.zol'))[1] == 0x1204 if os.path.exists(path('c.zol')) else False)
r = zolt('convert', path('c.zol'), path('c.tif'))
check('refuses complex', r.returncode != 0 and not os.path.exists(path('c.tif')) and 'complex' in r.stderr, r.stderr)
r = zolt('convert', path('cal.zol'), path('x.png'))
check('refuses picture names', r.returncode != 0 and not os.path.exists(path('x.png')), r.stderr)

for f in failures:
    print('FAILED', f)
print(f'{2 * len(cases)} cases read and written, 11 calibration and refusal checks' if not failures else '')
sys.exit(1 if failures else 0)
