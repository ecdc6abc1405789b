"""Zolttool's image library from Python: ZOLT files as NumPy arrays and every
operation of the operation table, with the results and messages of the window
and of `zolt op`. Every call releases the GIL, so a thread pool runs calls on
different images side by side.

    import zolt
    stack = zolt.read("cells.zol")            # (frames, rows, cols) array
    smooth = zolt.ops.blur(stack, sigma=2.0)  # what `zolt op blur --sigma 2` writes
    zolt.write("smooth.zol", smooth, compress=True)
"""
from . import _zolt
from ._zolt import Error
from . import ops

__all__ = ["Error", "read", "write", "info", "ops", "verbose"]


def read(path):
    """Reads a ZOLT file into a new array shaped (cols,), (rows, cols) or
    (frames, rows, cols), in storage order, dtype from the file's data type."""
    return _zolt.read(str(path))


def write(path, array, type=None, compress=False):
    """Writes `array` as a ZOLT file, its data type from the dtype unless
    `type` names one ("u8bit", "float", ...); the file appears only when it
    is complete. `compress` stores the pixels zlib-compressed."""
    _zolt.write(str(path), array, type or "", bool(compress))


def info(path):
    """The file's header as a dict: type, sizes (columns, rows, frames),
    per-dimension scale, offset and units, the two notes, compressed."""
    return _zolt.info(str(path))


def verbose(on=True):
    """Lets the library print its reports and progress lines (off at import)."""
    _zolt.verbose(bool(on))
