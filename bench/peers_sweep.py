#!/usr/bin/python3
"""The sweep table: labelling, compressed and raw ZOLT reads and equalisation, each row beside
its best peer (OpenCV connectedComponents and equalizeHist, zlib's decompression of the very
stream the reader inflates, a NumPy copy), timed in the same minutes on the same machine.

    bench/peers_sweep.py [--rounds N] BUILD/bench/bench_sweep [OTHER/bench_sweep ...]

Each round runs every sweep program given and then the peers; a row keeps the fastest time of
all rounds, so a moment of load elsewhere does not decide it. With no program, only the peers
are timed. The first program's figure is the one held against the peer and the aim.
Needs: apt-get install python3-opencv python3-scipy (on your machine only; never a project
dependency). Compare ratios, not absolute times.
"""
import json, os, re, subprocess, sys, time, zlib
import numpy as np, cv2, scipy.ndimage as ndi

cv2.setNumThreads(2)
SIDES = (1000, 2048, 3162)
PERCENTS = (5, 10, 20, 30, 50, 70, 90)

def t(f, n=5):
    f(); xs = []
    for _ in range(n):
        a = time.perf_counter(); f(); xs.append(time.perf_counter() - a)
    return sorted(xs)[len(xs) // 2] * 1e3

def field():
    x = np.arange(4096, dtype=np.float32); y = x[:, None]
    return (100.0 + 80.0 * np.sin(np.float32(0.01) * x) * np.cos(np.float32(0.013) * y)
            + ((x.astype(np.int64) * 7 + y.astype(np.int64) * 13) % 5)).astype(np.float32)

def stream():
    """The compressed field's zlib stream as the sweep wrote it, else zlib's own at level 6."""
    path = os.path.join(os.environ.get("TMPDIR") or "/tmp", "zolt_sweep_field1.zol")
    try:
        with open(path, "rb") as f:
            data = f.read()[512:]
        d = zlib.decompressobj()
        d.decompress(data)
        return data[:len(data) - len(d.unused_data)], "same stream"
    except (OSError, zlib.error):
        return zlib.compress(field().tobytes(), 6), "zlib's own stream"

def peers():
    rng = np.random.default_rng(1)
    res = {}
    for side in SIDES:
        for p in PERCENTS:
            img = (rng.random((side, side)) < p / 100).astype(np.uint8)
            res[f"sweep/ccl/side:{side}/percent:{p}"] = t(
                lambda: cv2.connectedComponents(img, connectivity=4, ltype=cv2.CV_32S), n=3)
        blobs = (ndi.gaussian_filter(rng.random((side, side), dtype=np.float32), 4, mode="reflect") > 0.5)
        blobs = blobs.astype(np.uint8)
        res[f"sweep/ccl/side:{side}/percent:0"] = t(
            lambda: cv2.connectedComponents(blobs, connectivity=4, ltype=cv2.CV_32S), n=3)
    comp, kind = stream()
    res["sweep/read/compressed:1"] = t(lambda: zlib.decompress(comp), n=3)
    f = field()
    res["sweep/read/compressed:0"] = t(lambda: np.copyto(np.empty_like(f), f))
    u8 = (rng.random((4096, 4096)) * 255).astype(np.uint8)
    res["sweep/histeq/frames:1"] = res["sweep/histeq/frames:3"] = t(lambda: cv2.equalizeHist(u8))
    return res, kind

def ours(program):
    out = subprocess.run([program, "--benchmark_format=json"], capture_output=True, text=True, check=True)
    return {b["name"].removesuffix("/real_time"): b["real_time"] for b in json.loads(out.stdout)["benchmarks"]}

PEER = {"ccl": "OpenCV connectedComponents", "read/compressed:1": "zlib decompress",
        "read/compressed:0": "NumPy copy", "histeq": "OpenCV equalizeHist 8-bit"}
AIM = {"ccl": 1.0, "read/compressed:1": 0.6, "read/compressed:0": 1.5, "histeq/frames:1": 2.0,
       "histeq/frames:3": 6.0}

def lookup(table, name):
    for k, v in table.items():
        if name.startswith("sweep/" + k):
            return v
    return None

def main():
    args = sys.argv[1:]
    rounds = 1
    if args[:1] == ["--rounds"]:
        rounds, args = int(args[1]), args[2:]
    best = [dict() for _ in args]
    peer = {}
    for _ in range(rounds):
        for i, prog in enumerate(args):
            for k, v in ours(prog).items():
                best[i][k] = min(v, best[i].get(k, v))
        res, kind = peers()
        for k, v in res.items():
            peer[k] = min(v, peer.get(k, v))
    names = list(best[0]) if best else list(peer)
    heads = [os.path.basename(os.path.dirname(os.path.dirname(os.path.abspath(a)))) for a in args]
    print("| Workload | " + " | ".join(f"{h} ms" for h in heads) + " | Peer | Peer ms | Ratio | Aim |")
    print("|---" * (len(args) + 6) + "|")
    for name in names:
        mine = [b.get(name) for b in best]
        p = peer.get(name)
        ratio = f"{mine[0] / p:.2f}" if mine and mine[0] and p else "-"
        aim = lookup(AIM, name)
        who = lookup(PEER, name) or "-"
        if who == "zlib decompress":
            who += f" ({kind})"
        cells = " | ".join(f"{m:.2f}" if m is not None else "-" for m in mine)
        print(f"| {name.removeprefix('sweep/')} | {cells}{' | ' if cells else ''}{who} | "
              f"{p:.2f} | {ratio} | {'<= ' + str(aim) if aim else '-'} |" if p else
              f"| {name.removeprefix('sweep/')} | {cells}{' | ' if cells else ''}- | - | - | - |")

if __name__ == "__main__":
    main()
