"""Zolttool's operations on a Dask cluster: run() sends one task per file to
dask.distributed workers and keeps the manifest of `zolt batch` (same plan,
outputs, records and resume rules, from the same compiled code); filter()
runs an operation with local support over a dask.array image chunk by chunk,
each chunk cut with the operation's halo, so the result is the whole-image one.

    python3 -m zolt.dask blur cells/ -o smooth --scheduler tcp://head:8786 --sigma 2
"""
import argparse
import os
import sys
import threading
import time

import numpy as np

from . import _zolt
from . import ops as _ops

__all__ = ["run", "filter", "main"]


def _run_one(name, numbers, texts, source, second, output, type):
    """One file in a worker, as `zolt batch` runs it: (ok, message, ms)."""
    t0 = time.monotonic()
    ok, message = _zolt.run_file(name, numbers, texts, source, second, output, type)
    return ok, message, int((time.monotonic() - t0) * 1000)


def _line(log, status, source, output, ms, message):
    """One file's line, as `zolt batch` prints it off a terminal."""
    if log is None:
        return
    if status == "failed":
        print("failed  %s: %s" % (source, message), file=log)
    elif status == "skipped":
        print("skipped %s (%s)" % (source, message), file=log)
    else:
        print("%-7s %s -> %s (%d ms)%s" % (status, source, output, ms, ": " + message if message else ""), file=log)


def run(NAME, inputs, outdir, client=None, second=None, type=None, format="zol", force=False, log=None,
        **params):
    """Runs operation NAME on every input file (a folder stands for its ZOLT
    and TIFF files) into OUTDIR/STEM.zol (or .tif), one dask.distributed task
    per file on `client` (a LocalCluster of this machine's cores when None),
    and records each file in OUTDIR/zolt-batch.tsv as its result arrives. Files
    recorded done under the same recipe whose output exists are skipped unless
    `force`; a task whose worker died is tried again twice. `second` is image 2
    of a two-input operation. A text file `log` gets one line per file as it
    finishes. Returns (done, failed, skipped)."""
    from dask import distributed

    if isinstance(inputs, (str, os.PathLike)):
        inputs = [inputs]
    numbers, texts = _ops.values(NAME, **params)
    entry = next(e for e in _ops._TABLE if e["name"] == NAME)
    if entry["inputs"] == 2 and second is None:
        raise ValueError("%s takes two images: second names image 2 of every file" % NAME)
    if entry["inputs"] == 1 and second is not None:
        raise ValueError("%s takes one image: second is not for it" % NAME)
    if format not in ("zol", "tif"):
        raise ValueError("format must be zol or tif")
    type = type or ""
    second = "" if second is None else str(second)
    outdir = str(outdir)
    items = _zolt.batch_plan([str(i) for i in inputs], outdir, format)
    os.makedirs(outdir, exist_ok=True)
    manifest = _zolt.Manifest(os.path.join(outdir, _zolt.MANIFEST_NAME))
    recipe = _zolt.batch_recipe(NAME, numbers, texts, type, "" if format == "zol" else format, second)

    done = failed = skipped = 0
    todo = []
    for source, output in items:
        if not force and manifest.finished(source, output, recipe):
            manifest.append(source, output, "skipped", 0, "done before", recipe)
            _line(log, "skipped", source, output, 0, "done before")
            skipped += 1
        else:
            todo.append((source, output))
    if not todo:
        return done, failed, skipped

    cluster = None
    if client is None:
        cluster = distributed.LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=True)
        client = distributed.Client(cluster)
    try:
        futures, bar = {}, None
        for source, output in todo:
            # pure=False: a fresh key each run, so a rerun never takes an older run's result
            f = client.submit(_run_one, NAME, numbers, texts, source, second, output, type, pure=False, retries=2)
            futures[f] = (source, output)
        if sys.stderr.isatty():
            # the text bar waits for every task, so it draws from a thread of its own
            bar = threading.Thread(target=distributed.progress, args=(list(futures),),
                                   kwargs={"notebook": False}, daemon=True)
            bar.start()
        for f in distributed.as_completed(futures):
            source, output = futures[f]
            try:
                ok, message, ms = f.result()
            except Exception as e:  # the task's workers kept dying, or it could not run
                ok, message, ms = False, str(e) or e.__class__.__name__, 0
            manifest.append(source, output, "done" if ok else "failed", ms, message, recipe)
            _line(log, "done" if ok else "failed", source, output, ms, message)
            if ok:
                done += 1
            else:
                failed += 1
        if bar is not None:
            bar.join(5)
    finally:
        if cluster is not None:
            client.close()
            cluster.close()
    return done, failed, skipped


def _chunks_of_at_least(chunks, least):
    """Chunk lengths along one axis merged so that each holds at least `least`
    (one chunk when the axis is shorter)."""
    merged, run_length = [], 0
    for c in chunks:
        run_length += c
        if run_length >= least:
            merged.append(run_length)
            run_length = 0
    if run_length:
        if merged:
            merged[-1] += run_length
        else:
            merged.append(run_length)
    return tuple(merged)


def filter(NAME, array, **params):
    """Operation NAME with local support over a dask.array image, 2-D (rows,
    cols) or 3-D (frames, rows, cols), chunk by chunk: each chunk is cut with
    the operation's halo and the halo trimmed from its result, which makes the
    result bit-identical to zolt.ops.NAME on the whole image. Chunks along
    rows and columns are merged where smaller than the operation needs; the
    frames are one chunk. ValueError for operations that read the whole image."""
    import dask.array as da

    numbers, texts = _ops.values(NAME, **params)
    halo = _zolt.halo(NAME, numbers, texts)
    if halo < 0:
        raise ValueError("%s has no local support: it reads the whole image, so it cannot run chunk by chunk"
                         % NAME)
    entry = next(e for e in _ops._TABLE if e["name"] == NAME)
    if entry["inputs"] != 1:
        raise ValueError("%s takes two images; filter runs one-image operations" % NAME)
    array = da.asarray(array)
    if array.ndim not in (2, 3):
        raise ValueError("filter takes 2-D (rows, cols) or 3-D (frames, rows, cols) arrays, not %d-D" % array.ndim)
    # A block holds its chunk and the halo on each side; the Gaussian filters
    # refuse images of fewer than 4 * halo + 2 rows, and a halo may not pass
    # the neighbouring chunk, so chunks are made at least that large.
    least = max(1, 4 * halo + 2)
    rows, cols = array.ndim - 2, array.ndim - 1
    want = {rows: _chunks_of_at_least(array.chunks[rows], least),
            cols: _chunks_of_at_least(array.chunks[cols], least)}
    if array.ndim == 3:
        want[0] = array.shape[0]  # operations on stacks may read the neighbouring frames
    array = array.rechunk(want)
    depth = {rows: halo, cols: halo}
    if array.ndim == 3:
        depth[0] = 0
    dtype = np.complex64 if np.issubdtype(array.dtype, np.complexfloating) else np.float32
    operation = getattr(_ops, NAME)

    def block(b):
        return operation(np.ascontiguousarray(b), **params).astype(dtype, copy=False)

    return array.map_overlap(block, depth=depth, boundary="none", dtype=dtype)


def _parse_params(NAME, words):
    """--PARAM VALUE pairs as keywords of the named operation, texts read by the parameter's kind."""
    entry = next((e for e in _ops._TABLE if e["name"] == NAME), None)
    if entry is None:
        raise SystemExit("zolt.dask: no operation is named '%s'" % NAME)
    kinds = {p["name"]: p["kind"] for p in entry["params"]}
    params = {}
    i = 0
    while i < len(words):
        word = words[i]
        if not word.startswith("--") or word[2:] not in kinds or i + 1 >= len(words):
            raise SystemExit("zolt.dask %s: unknown parameter or missing value at '%s'" % (NAME, word))
        kind, text = kinds[word[2:]], words[i + 1]
        try:
            value = float(text) if kind == "real" else int(text) if kind == "integer" else text
        except ValueError:
            raise SystemExit("zolt.dask %s: %s '%s' is not a %s" % (NAME, word, text, kind))
        params[word[2:].replace("-", "_")] = value
        i += 2
    return params


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m zolt.dask", allow_abbrev=False,
                                     description="Runs one operation on every file on a Dask cluster.")
    parser.add_argument("name")
    parser.add_argument("inputs", nargs="+")
    parser.add_argument("-o", dest="outdir", required=True)
    parser.add_argument("--scheduler", help="the scheduler's address; a cluster of this machine's cores when none")
    parser.add_argument("--second")
    parser.add_argument("--type")
    parser.add_argument("--format", default="zol", choices=("zol", "tif"))
    parser.add_argument("--force", action="store_true")
    args, rest = parser.parse_known_args(argv)
    params = _parse_params(args.name, rest)
    client = None
    if args.scheduler:
        from dask import distributed
        client = distributed.Client(args.scheduler)
    try:
        done, failed, skipped = run(args.name, args.inputs, args.outdir, client=client, second=args.second,
                                    type=args.type, format=args.format, force=args.force,
                                    log=None if sys.stderr.isatty() else sys.stderr, **params)
    except (ValueError, TypeError, _zolt.Error) as e:
        print("zolt.dask %s: %s" % (args.name, e), file=sys.stderr)
        return 2
    finally:
        if client is not None:
            client.close()
    print("%d done, %d failed, %d skipped" % (done, failed, skipped), file=sys.stderr)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    # the workers unpickle tasks by module name, which __main__ is not
    from zolt.dask import main as _main
    sys.exit(_main())
