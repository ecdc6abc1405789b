"""The zolt package against the zolt tool and against itself: files both
ways, operations bit for bit as `zolt op` writes them, refusals and ranges,
the table's signatures, and threads."""
import inspect
import os
import subprocess
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import zolt

TOOL = os.environ["ZOLT_TOOL"]
SAMPLE = os.path.join(os.environ["ZOLT_TEST_DATA"], "sample.zol")

DTYPES = [np.uint8, np.int8, np.int16, np.uint16, np.int32, np.float32, np.float64, np.complex64, np.complex128]


@pytest.mark.parametrize("dtype", DTYPES)
def test_files_both_ways_for_every_type(tmp_path, dtype):
    rng = np.random.default_rng(7)
    a = (rng.integers(-100, 100, (3, 16, 20)) + (1j * rng.integers(0, 9, (3, 16, 20)) if np.dtype(dtype).kind == "c" else 0))
    a = a.astype(dtype) if np.dtype(dtype).kind != "u" else np.abs(a).astype(dtype)
    path = str(tmp_path / "a.zol")
    zolt.write(path, a, compress=True)
    b = zolt.read(path)
    assert b.dtype == a.dtype and b.shape == a.shape and np.array_equal(a, b)
    info = zolt.info(path)
    assert info["sizes"] == [20, 16, 3] and info["compressed"]
    # what the tool reads back is the same picture: a "float" copy by value
    if np.dtype(dtype).kind != "c":
        tif = str(tmp_path / "a.tif")
        zolt.write(tif, a)
        assert np.array_equal(zolt.read(tif), a) and zolt.read(tif).dtype == a.dtype
        out = str(tmp_path / "f.zol")
        subprocess.run([TOOL, "convert", path, out, "--type", "float"], check=True, capture_output=True)
        assert np.array_equal(zolt.read(out), a.astype(np.float32))


def tool_op(tmp_path, name, inputs, **params):
    names = []
    for i, a in enumerate(inputs):
        names.append(str(tmp_path / ("in%d.zol" % i)))
        zolt.write(names[-1], a)
    out = str(tmp_path / "out.zol")
    args = [TOOL, "op", name, *names, "-o", out]
    for k, v in params.items():
        args += ["--" + k.replace("_", "-"), str(v)]
    subprocess.run(args, check=True, capture_output=True)
    return zolt.read(out)


FAMILIES = [("dx", 1, {}), ("blur", 1, {"sigma": 2.0}), ("lap", 1, {}), ("fft", 1, {}), ("ccl", 1, {}),
            ("histeq", 1, {}), ("ln", 1, {}), ("add", 2, {}), ("div", 2, {}), ("cmap", 1, {})]


@pytest.mark.parametrize("name,inputs,params", FAMILIES)
def test_each_family_is_bit_exact_with_the_tool(tmp_path, name, inputs, params):
    a = zolt.read(SAMPLE)
    imgs = [a, (a[::-1] + 1).astype(np.int16)][:inputs]
    got = getattr(zolt.ops, name)(*imgs, **params)
    want = tool_op(tmp_path, name, imgs, **params)
    assert got.dtype == want.dtype and got.shape == want.shape
    assert got.tobytes() == want.tobytes()


def test_refusals_ranges_and_types():
    a = zolt.read(SAMPLE)
    with pytest.raises(zolt.Error, match=r"^Sigma must not be 0\.$"):
        zolt.ops.blur(a, sigma=0)
    assert issubclass(zolt.Error, RuntimeError)
    with pytest.raises(ValueError, match="sigma 300 is outside 0 to 255"):
        zolt.ops.blur(a, sigma=300)
    with pytest.raises(TypeError, match="bool"):
        zolt.ops.abs(np.zeros((4, 4), bool))
    with pytest.raises(ValueError, match="1 to 3 dimensions"):
        zolt.ops.abs(np.zeros((2, 2, 2, 2), np.float32))
    with pytest.raises(zolt.Error):
        zolt.read("/nonexistent/x.zol")


def test_signatures_and_docstrings_come_from_the_table():
    assert len(zolt.ops.names()) == len(set(zolt.ops.names())) and "pcon" in zolt.ops.names()
    sig = inspect.signature(zolt.ops.blur)
    assert list(sig.parameters) == ["image", "sigma"] and sig.parameters["sigma"].default == 1.0
    assert list(inspect.signature(zolt.ops.add).parameters)[:2] == ["image", "image2"]
    assert "0 to 255" in zolt.ops.blur.__doc__ and zolt.ops.blur.__doc__.startswith("Gaussian blur")


def test_threads_give_their_single_threaded_twins():
    base = zolt.read(SAMPLE)
    jobs = [(name, params) for name, n, params in FAMILIES if n == 1] + [("blur", {"sigma": 0})]

    def run(job):
        name, params = job
        try:
            return getattr(zolt.ops, name)(base, **params).tobytes()
        except zolt.Error as e:
            return str(e)

    alone = [run(j) for j in jobs]
    with ThreadPoolExecutor(4) as pool:
        for _ in range(3):
            assert list(pool.map(run, jobs)) == alone
    assert alone[-1] == "Sigma must not be 0."
