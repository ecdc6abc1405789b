"""Side by side in one run: files per second of zolt.dask.run on a two-worker
process LocalCluster against `zolt batch -j 2` over the same folder of
512 x 512 "32flt" files (blur, sigma 2), and the peak memory of
zolt.dask.filter blurring a Zarr image in 1024 x 1024 chunks against the
image's size.

    PYTHONPATH=build/python ZOLT_TOOL=build/tools/zolt/zolt /usr/bin/python3 bench/bench_dask.py \\
        [FILES=200] [SIDE=16384]
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np


def peak_of_filter(path):
    """Runs in a child of its own, so that its peak is the filter's alone."""
    import dask.array as da
    import zolt.dask
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    image = da.from_zarr(path)
    zolt.dask.filter("blur", image, sigma=2.0).to_zarr(path + "-blurred", overwrite=True)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(peak * 1024, before * 1024)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--peak":
        return peak_of_filter(sys.argv[2])
    files = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    side = int(sys.argv[2]) if len(sys.argv) > 2 else 16384
    import zolt
    import zolt.dask
    from dask import distributed
    import dask.array as da

    work = tempfile.mkdtemp(prefix="zolt_bench_dask")
    try:
        src = os.path.join(work, "in")
        os.mkdir(src)
        rng = np.random.default_rng(1)
        for i in range(files):
            zolt.write(os.path.join(src, "f%05d.zol" % i), rng.random((512, 512), dtype=np.float32))

        t0 = time.monotonic()
        subprocess.run([os.environ["ZOLT_TOOL"], "batch", "blur", src, "-o", os.path.join(work, "batch"),
                        "--sigma", "2", "-j", "2"], check=True, capture_output=True)
        batch = files / (time.monotonic() - t0)

        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, distributed.Client(cluster) as client:
            client.submit(sum, [1]).result()  # workers up before the clock starts
            t0 = time.monotonic()
            counts = zolt.dask.run("blur", [src], os.path.join(work, "dask"), client=client, sigma=2.0)
            on_dask = files / (time.monotonic() - t0)
        assert counts == (files, 0, 0), counts
        print("zolt batch -j 2:           %8.1f files/s" % batch)
        print("zolt.dask.run, 2 workers:  %8.1f files/s  (%.2f of zolt batch)" % (on_dask, on_dask / batch))

        path = os.path.join(work, "big.zarr")
        da.random.RandomState(2).random((side, side), chunks=1024).astype(np.float32).to_zarr(path)
        out = subprocess.run([sys.executable, __file__, "--peak", path], check=True, capture_output=True,
                             text=True, env=os.environ).stdout.split()
        peak, start = int(out[0]), int(out[1])
        size = side * side * 4
        print("zolt.dask.filter blur on %d x %d float in 1024 chunks: image %.0f MiB, peak RSS %.0f MiB "
              "(%.0f MiB at start), %.2f of the image" % (side, side, size / 2**20, peak / 2**20, start / 2**20,
                                                          peak / size))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
