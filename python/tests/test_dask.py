"""zolt.dask against `zolt batch` and against the whole-image operations: the
same outputs and manifest on a two-worker process cluster, a rerun that
skips (from either side), and chunked filters bit for bit at the borders."""
import os
import subprocess
import sys

import numpy as np
import pytest

import zolt

dask_array = pytest.importorskip("dask.array")
distributed = pytest.importorskip("dask.distributed")
import zolt.dask  # noqa: E402

TOOL = os.environ["ZOLT_TOOL"]


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None)
    c = distributed.Client(cluster)
    yield c
    c.close()
    cluster.close()


def records(outdir):
    """The manifest's records without their times, outputs by file name."""
    with open(os.path.join(outdir, "zolt-batch.tsv")) as f:
        lines = f.read().splitlines()[1:]
    rows = [line.split("\t") for line in lines]
    return [(os.path.basename(r[0]), os.path.basename(r[1]), r[2], r[4], r[5]) for r in rows]


def same_image(a, b):
    """Equal pixels and header fields (the files' dates aside)."""
    x, y = zolt.read(a), zolt.read(b)
    return x.dtype == y.dtype and x.shape == y.shape and x.tobytes() == y.tobytes() and zolt.info(a) == zolt.info(b)


def test_run_matches_zolt_batch_and_resumes(tmp_path, client):
    src = tmp_path / "in"
    src.mkdir()
    rng = np.random.default_rng(3)
    for i in range(5):
        zolt.write(str(src / ("im%d.zol" % i)), rng.integers(0, 255, (40 + i, 37)).astype(np.uint8))
    (src / "broken.zol").write_bytes(b"not an image at all")
    dask_out, tool_out = str(tmp_path / "dask"), str(tmp_path / "tool")

    assert zolt.dask.run("blur", [str(src)], dask_out, client=client, sigma=1.5) == (5, 1, 0)
    tool = subprocess.run([TOOL, "batch", "blur", str(src), "-o", tool_out, "--sigma", "1.5", "-j", "1"],
                          capture_output=True, text=True)
    assert tool.returncode == 1
    got, want = records(dask_out), records(tool_out)
    assert sorted(got) == sorted(want) and len(got) == 6
    assert [r[2] for r in sorted(got)] == ["failed"] + ["done"] * 5
    for i in range(5):
        name = "im%d.zol" % i
        assert same_image(os.path.join(dask_out, name), os.path.join(tool_out, name)), name
    assert not os.path.exists(os.path.join(dask_out, "broken.zol"))

    # a rerun does only the failed file again, and zolt batch reads the same record
    assert zolt.dask.run("blur", [str(src)], dask_out, client=client, sigma=1.5) == (0, 1, 5)
    again = subprocess.run([TOOL, "batch", "blur", str(src), "-o", dask_out, "--sigma", "1.5"],
                           capture_output=True, text=True)
    assert "0 done, 1 failed, 5 skipped" in again.stderr
    # another recipe is not the one recorded: all run again
    assert zolt.dask.run("blur", [str(src)], dask_out, client=client, sigma=2.0) == (5, 1, 0)

    # the shell form, pointed at the running scheduler
    shell = subprocess.run([sys.executable, "-m", "zolt.dask", "blur", str(src / "im0.zol"), "-o",
                            str(tmp_path / "sh"), "--scheduler", client.scheduler.address, "--sigma", "1.5"],
                           capture_output=True, text=True, env=os.environ)
    assert shell.returncode == 0, shell.stderr
    assert "1 done, 0 failed, 0 skipped" in shell.stderr
    assert "done    %s -> %s" % (src / "im0.zol", tmp_path / "sh" / "im0.zol") in shell.stderr  # off a terminal
    assert same_image(str(tmp_path / "sh" / "im0.zol"), os.path.join(tool_out, "im0.zol"))


# Every operation of the table with local support, at its dialog's values.
LOCAL = [n for n in zolt.ops.names()
         if zolt._zolt.op_table()[zolt.ops.names().index(n)]["inputs"] == 1
         and all(p["default"] is not None for p in zolt._zolt.op_table()[zolt.ops.names().index(n)]["params"])
         and zolt._zolt.halo(n, *zolt.ops.values(n)) >= 0]


def test_filter_is_the_whole_image_result_at_any_chunking():
    assert len(LOCAL) >= 15 and "blur" in LOCAL and "ccl" not in LOCAL
    rng = np.random.default_rng(11)
    images = [rng.uniform(0.5, 200.0, (1000, 900)).astype(np.float32),
              rng.uniform(0.5, 200.0, (3, 420, 390)).astype(np.float32)]
    for image in images:
        for name in LOCAL:
            whole = getattr(zolt.ops, name)(image)
            # chunks smaller than the operation can take are merged first
            for chunks in [(300, 257), (64, 1000)] + [(12, 17)] * (image.ndim == 3):
                chunks = ((3,) if image.ndim == 3 else ()) + chunks
                got = zolt.dask.filter(name, dask_array.from_array(image, chunks=chunks))
                got = got.compute(scheduler="threads")
                assert got.dtype == whole.dtype and got.tobytes() == whole.tobytes(), (name, image.shape, chunks)
    with pytest.raises(ValueError, match="ccl"):
        zolt.dask.filter("ccl", dask_array.zeros((64, 64), dtype=np.float32))


def test_a_worker_killed_midway_still_ends_with_every_file_done(tmp_path, client):
    import signal
    import threading
    import time

    src = tmp_path / "in"
    src.mkdir()
    rng = np.random.default_rng(5)
    images = [rng.uniform(0, 100, (1200, 1100)).astype(np.float32) for _ in range(16)]
    for i, a in enumerate(images):
        zolt.write(str(src / ("im%02d.zol" % i)), a)
    outdir = tmp_path / "out"
    before = client.run(os.getpid)
    manifest = outdir / "zolt-batch.tsv"
    done_at_kill = []

    def kill_one_when_started():
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            done = manifest.read_text().count("\tdone\t") if manifest.exists() else 0
            if done >= 2:
                os.kill(next(iter(before.values())), signal.SIGKILL)
                done_at_kill.append(done)
                return
            time.sleep(0.005)

    killer = threading.Thread(target=kill_one_when_started)
    killer.start()
    assert zolt.dask.run("blur", [str(src)], str(outdir), client=client, sigma=3.0) == (16, 0, 0)
    killer.join()
    client.wait_for_workers(2)
    assert done_at_kill and done_at_kill[0] < 12, done_at_kill  # killed midway
    assert set(client.run(os.getpid).values()) != set(before.values())
    got = records(str(outdir))
    assert sorted(r[0] for r in got) == sorted("im%02d.zol" % i for i in range(16))
    assert all(r[2] == "done" for r in got)
    for i, a in enumerate(images):
        assert zolt.read(str(outdir / ("im%02d.zol" % i))).tobytes() == zolt.ops.blur(a, sigma=3.0).tobytes()
