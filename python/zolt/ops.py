"""The operations of the operation table as functions: zolt.ops.NAME(image
[, image2], **parameters), NAME the `zolt op` name, keywords the `zolt op`
options with '-' as '_'. Made at import from the table itself."""
import inspect
import math

from . import _zolt

_TABLE = _zolt.op_table()
_NOT_GIVEN = inspect.Parameter.empty


def names():
    """The names of every operation, in table order."""
    return [e["name"] for e in _TABLE]


def _number(text):
    return "%g" % text


def _describe(p):
    kind = {"real": "number", "integer": "whole number", "text": "text"}[p["kind"]]
    line = "%s : %s" % (p["name"].replace("-", "_"), kind)
    label = p["label"].rstrip(" :")
    if label:
        line += "\n    " + label
    if p["default"] is None:
        line += "; required"
    elif p["kind"] == "text":
        line += "; default %r" % p["default"]
    else:
        line += "; default " + _number(p["default"])
    if p["range"] is not None:
        line += "; %s to %s" % tuple(_number(v) for v in p["range"])
    if p["only3d"]:
        line += "; for 3-D inputs"
    return line


def _value(entry, p, given):
    """The value handed to the library for one parameter: checked for kind and range."""
    where = "%s: %s" % (entry["name"], p["name"].replace("-", "_"))
    if p["kind"] == "text":
        return 0.0, str(given)
    if isinstance(given, bool) or not isinstance(given, (int, float)) and not hasattr(given, "__float__"):
        raise TypeError("%s must be a number, not %r" % (where, given))
    v = float(given)
    if not math.isfinite(v):
        raise ValueError("%s must be finite, not %r" % (where, given))
    if p["kind"] == "integer":
        if v != math.trunc(v):
            raise ValueError("%s must be a whole number, not %r" % (where, given))
    if p["range"] is not None and not (p["range"][0] <= v <= p["range"][1]):
        raise ValueError("%s %s is outside %s to %s"
                         % (where, _number(v), _number(p["range"][0]), _number(p["range"][1])))
    return v, "%d" % v if p["kind"] == "integer" else repr(v)


def _values(entry, bound):
    """The library's numbers and texts, by parameter position, for the bound call."""
    bound.apply_defaults()
    numbers, texts = [], []
    for p in entry["params"]:
        v, t = _value(entry, p, bound.arguments[p["name"].replace("-", "_")])
        numbers.append(v)
        texts.append(t)
    return numbers, texts


def values(name, **params):
    """The checked values of the named operation's parameters as the library
    takes them: (numbers, texts) by parameter position, defaults filled in."""
    entry = next((e for e in _TABLE if e["name"] == name), None)
    if entry is None:
        raise ValueError("no operation is named %r" % name)
    images = [None] * entry["inputs"]
    return _values(entry, globals()[name].__signature__.bind(*images, **params))


def _make(entry):
    params = entry["params"]
    inputs = [inspect.Parameter("image", inspect.Parameter.POSITIONAL_OR_KEYWORD)]
    if entry["inputs"] == 2:
        inputs.append(inspect.Parameter("image2", inspect.Parameter.POSITIONAL_OR_KEYWORD))
    keywords = []
    for p in params:
        default = p["default"]
        if default is not None and p["kind"] == "integer":
            default = int(default)
        keywords.append(inspect.Parameter(p["name"].replace("-", "_"), inspect.Parameter.KEYWORD_ONLY,
                                          default=_NOT_GIVEN if default is None else default))
    signature = inspect.Signature(inputs + keywords)

    def operation(*args, **kwargs):
        bound = signature.bind(*args, **kwargs)
        numbers, texts = _values(entry, bound)
        second = bound.arguments.get("image2")
        return _zolt.run(entry["name"], bound.arguments["image"], second, numbers, texts)

    operation.__name__ = operation.__qualname__ = entry["name"]
    operation.__signature__ = signature
    doc = entry["summary"][:1].upper() + entry["summary"][1:] + "."
    doc += "\n\nReturns a new array: \"float\" (float32), complex results complex64."
    if params:
        doc += "\n\nParameters\n----------\n" + "\n".join(_describe(p) for p in params)
    operation.__doc__ = doc
    return operation


for _entry in _TABLE:
    globals()[_entry["name"]] = _make(_entry)
del _entry
