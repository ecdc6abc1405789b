// The compiled half of the zolt Python package: ZOLT and TIFF files to and from NumPy
// arrays, the operation table as data, one call that runs an operation as
// `zolt op` runs it, and the pieces of `zolt batch` (plan, recipe, one file's
// run, the manifest) for the Dask runner. Every library call runs with the GIL released and the
// thread's reports silenced (unless verbose); failures come back as
// zolt.Error with the text the window shows.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imagecopy.h"
#include "opfiles.h"
#include "ops.h"
#include "zolt.h"
#include "zolt_tiff.h"

namespace py = pybind11;

namespace {

PyObject *errorClass = nullptr;  // zolt.Error, kept for the process's life

struct Failure {
    std::string text;
};

[[noreturn]] void fail(const std::string &text) { throw Failure{text}; }

// The calling thread's error mode for one library call: silent unless the
// package was told to be verbose, restored afterwards.
struct Quiet {
    int saved = ZoltErrorMode;
    Quiet() {
        ZoltErrorMode = ZoltChatter ? 8 : 1;
        ZoltErrorCode = 0;
    }
    ~Quiet() { ZoltErrorMode = saved; }
};

std::string lastReport(const std::string &fallback) {
    std::string text = ZoltLastMessage();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    while (!text.empty() && text.front() == '\n') text.erase(0, 1);
    if (text.empty()) return fallback + " (code " + std::to_string(ZoltErrorCode) + ")";
    return text;
}

// An image and the one who frees it.
struct Held {
    ZoltHeader *h = nullptr;
    explicit Held(ZoltHeader *img = nullptr) : h(img) {}
    ~Held() {
        if (h) Zoltfree(h, 7);
    }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;
    ZoltHeader *release() {
        ZoltHeader *r = h;
        h = nullptr;
        return r;
    }
};

// The NumPy dtype of each single-channel data type.
py::dtype dtypeOf(uint32_t code) {
    switch (code) {
    case ZOLT_U8: return py::dtype::of<uint8_t>();
    case ZOLT_S8: return py::dtype::of<int8_t>();
    case ZOLT_S16: return py::dtype::of<int16_t>();
    case ZOLT_U16: return py::dtype::of<uint16_t>();
    case ZOLT_S32: return py::dtype::of<int32_t>();
    case ZOLT_F32: return py::dtype::of<float>();
    case ZOLT_F64: return py::dtype::of<double>();
    case ZOLT_C32: return py::dtype::of<std::complex<float>>();
    case ZOLT_C64: return py::dtype::of<std::complex<double>>();
    }
    throw py::type_error("images of data type code " + std::to_string(code) + " have no NumPy dtype");
}

// The data type name of a NumPy dtype, or empty.
std::string typeOf(const py::dtype &d) {
    const char kind = d.kind();
    const auto size = d.itemsize();
    if (kind == 'u' && size == 1) return "u8bit";
    if (kind == 'i' && size == 1) return "8bit";
    if (kind == 'i' && size == 2) return "16bit";
    if (kind == 'u' && size == 2) return "u16bit";
    if (kind == 'i' && size == 4) return "32bit";
    if (kind == 'f' && size == 4) return "32flt";
    if (kind == 'f' && size == 8) return "64flt";
    if (kind == 'c' && size == 8) return "32cmp";
    if (kind == 'c' && size == 16) return "64cmp";
    return "";
}

// Hands the image's pixels to a new array, which frees the image when it goes:
// (cols,), (rows, cols) or (frames, rows, cols), storage order.
py::array toArray(ZoltHeader *img) {
    Held held(img);
    std::vector<py::ssize_t> shape;
    for (int n = img->oltndim - 1; n >= 0; --n) shape.push_back(static_cast<py::ssize_t>(Zoltdimen(img, n)));
    py::dtype dt = dtypeOf(img->dtype);
    py::capsule owner(img, [](void *p) { Zoltfree(static_cast<ZoltHeader *>(p), 7); });
    held.release();
    return py::array(dt, shape, {}, img->oltptr, owner);
}

// An image holding a copy of the array in the named type (the array's own
// type when empty), converted as the library converts.
ZoltHeader *fromArray(const py::array &given, const std::string &type) {
    const std::string own = typeOf(given.dtype());
    if (own.empty())
        throw py::type_error("arrays of dtype " + std::string(py::str(given.dtype())) +
                             " cannot be images: use uint8, int8, int16, uint16, int32, float32, float64, "
                             "complex64 or complex128");
    if (given.ndim() < 1 || given.ndim() > 3)
        throw py::value_error("images have 1 to 3 dimensions, the array has " + std::to_string(given.ndim()));
    int dims[4] = {static_cast<int>(given.ndim()), 1, 1, 1};
    for (int n = 0; n < given.ndim(); ++n) {
        const py::ssize_t len = given.shape(given.ndim() - 1 - n);
        if (len < 1 || len > 2147483647)
            throw py::value_error("a dimension of length " + std::to_string(len) + " cannot be an image's");
        dims[1 + n] = static_cast<int>(len);
    }
    if (!type.empty() && !Zoltfindtype(type.c_str())) throw py::value_error("unknown data type '" + type + "'");
    py::array a = py::array::ensure(given, py::array::c_style);
    const void *data = a.data();
    const size_t bytes = static_cast<size_t>(a.nbytes());
    ZoltHeader *img = nullptr;
    {
        py::gil_scoped_release free;
        Quiet quiet;
        Held raw(Zoltcreate(own.c_str(), dims, 11, 0));
        if (!raw.h) fail(lastReport("the image cannot be made"));
        std::memcpy(raw.h->oltptr, data, bytes);
        if (type.empty() || Zoltfindtype(type.c_str())->code == raw.h->dtype) {
            img = raw.release();
        } else {
            img = Zoltretype(raw.h, type.c_str());
            if (!img) fail(lastReport("the image cannot be converted to \"" + type + "\""));
        }
    }
    return img;
}

py::array readFile(const std::string &path) {
    ZoltHeader *img;
    {
        py::gil_scoped_release free;
        Quiet quiet;
        img = ZoltReadImage(path.c_str(), nullptr, nullptr);
        if (!img) fail(lastReport("cannot read '" + path + "'"));
    }
    if (!Zoltplaintype(img->dtype)) {
        const std::string name = img->oltdt;
        Zoltfree(img, 7);
        throw py::type_error("'" + path + "' holds \"" + name + "\" pixels, which no NumPy dtype matches");
    }
    return toArray(img);
}

void writeFile(const std::string &path, const py::array &array, const std::string &type, bool compress) {
    Held img(fromArray(array, type));
    img.h->oltcomp = compress ? 1 : 0;
    py::gil_scoped_release free;
    Quiet quiet;
    if (ZoltWriteImage(img.h, path.c_str()) == 0) fail(lastReport("writing '" + path + "' failed"));
}

std::string fixed(const char *text, size_t most) {
    size_t n = 0;
    while (n < most && text[n]) ++n;
    return std::string(text, n);
}

py::dict infoFile(const std::string &path) {
    Held img;
    {
        py::gil_scoped_release free;
        Quiet quiet;
        img.h = ZoltReadImage(path.c_str(), nullptr, nullptr);
        if (!img.h) fail(lastReport("cannot read '" + path + "'"));
    }
    const ZoltHeader *h = img.h;
    py::list sizes, scales, units, offsets;
    for (int n = 0; n < h->oltndim; ++n) {
        sizes.append(Zoltdimen(h, n));
        const ZoltDimHeader *d = nullptr;
        for (int k = 0; k < h->oltndim; ++k)
            if (h->oltdim[k].dimnum == n + 1) d = &h->oltdim[k];
        scales.append(d ? d->dimscale : 1.0f);
        offsets.append(d ? d->dimoffset : 0.0f);
        units.append(d ? fixed(d->dimunits, sizeof d->dimunits) : std::string());
    }
    py::dict info;
    info["type"] = std::string(h->oltdt);
    info["sizes"] = sizes;  // columns, rows, frames
    info["scale"] = scales;
    info["offset"] = offsets;
    info["units"] = units;
    info["notes"] = py::make_tuple(fixed(h->oltnote1, 8), fixed(h->oltnote2, 8));
    info["compressed"] = h->oltcomp == 1;
    return info;
}

// The operation table as plain data, read by the package to make its functions.
py::list opTableData() {
    int count = 0;
    const OpEntry *table = opTable(&count);
    py::list ops;
    for (int i = 0; i < count; ++i) {
        const OpEntry &op = table[i];
        py::list params;
        for (int k = 0; k < op.paramCount(); ++k) {
            const OpParam &p = op.params[k];
            double def = 0;
            const bool hasDefault = p.defaultValue(&def);
            py::dict d;
            d["name"] = p.name;
            d["kind"] = p.kind == OpKind::Real ? "real" : p.kind == OpKind::Integer ? "integer" : "text";
            d["label"] = p.label ? p.label : "";
            d["default"] = hasDefault ? (p.kind == OpKind::Text ? py::object(py::str(p.preset ? p.preset : ""))
                                                                  : py::object(py::float_(def)))
                                      : py::object(py::none());
            d["range"] = p.bounded() ? py::object(py::make_tuple(p.min, p.max)) : py::object(py::none());
            d["only3d"] = p.only3d;
            params.append(d);
        }
        py::dict e;
        e["name"] = op.name;
        e["inputs"] = op.inputs;
        e["summary"] = op.summary ? op.summary : "";
        e["params"] = params;
        ops.append(e);
    }
    return ops;
}

const OpEntry &opNamed(const std::string &name) {
    const OpEntry *op = opByName(name);
    if (!op) throw py::value_error("no operation is named '" + name + "'");
    return *op;
}

// `numbers` and `texts` by parameter position, already checked against the table.
OpValues valuesOf(const std::vector<double> &numbers, const std::vector<std::string> &texts) {
    OpValues values;
    for (size_t k = 0; k < numbers.size() && k < 6; ++k) values.number[k] = numbers[k];
    for (size_t k = 0; k < texts.size() && k < 6; ++k) values.text[k] = texts[k];
    return values;
}

int haloOf(const std::string &name, const std::vector<double> &numbers, const std::vector<std::string> &texts) {
    return opHalo(opNamed(name), valuesOf(numbers, texts));
}

// The (input, output) pairs of a batch, as `zolt batch` plans them.
std::vector<std::pair<std::string, std::string>> planBatch(const std::vector<std::string> &inputs,
                                                           const std::string &outdir, const std::string &format) {
    std::vector<BatchItem> items;
    std::string error;
    bool ok;
    {
        py::gil_scoped_release free;
        Quiet quiet;
        ok = batchPlan(inputs, outdir, format, &items, &error);
    }
    if (!ok) throw py::value_error(error);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const BatchItem &item : items) pairs.emplace_back(item.input, item.output);
    return pairs;
}

std::string recipeOf(const std::string &name, const std::vector<double> &numbers,
                     const std::vector<std::string> &texts, const std::string &type, const std::string &format,
                     const std::string &second) {
    return batchRecipe(opNamed(name), valuesOf(numbers, texts), type, format, second);
}

// One file of a batch run exactly as `zolt batch` runs it: (ok, message).
std::pair<bool, std::string> runFile(const std::string &name, const std::vector<double> &numbers,
                                     const std::vector<std::string> &texts, const std::string &input,
                                     const std::string &second, const std::string &output, const std::string &type) {
    const OpEntry &op = opNamed(name);
    const OpValues values = valuesOf(numbers, texts);
    py::gil_scoped_release free;
    Quiet quiet;
    Held image2;
    if (!second.empty()) {
        std::string why;
        image2.h = opReadImage(second, &why);
        if (!image2.h) return {false, why};
    }
    const OpFileResult r = opRunFile(op, values, input, image2.h, output, type);
    return {r.ok, r.message};
}

// Runs the named operation as `zolt op` does on files holding these arrays:
// inputs as the buffers hold them, the random colour map's count from the
// first input, the result "float" unless complex. `numbers` and `texts` are
// by parameter position, already checked against the table.
py::array runOp(const std::string &name, const py::array &a1, py::object a2, const std::vector<double> &numbers,
                const std::vector<std::string> &texts) {
    const OpEntry *op = &opNamed(name);
    const OpValues values = valuesOf(numbers, texts);
    Held in1(fromArray(a1, "")), in2;
    if (op->inputs == 2) in2.h = fromArray(a2.cast<py::array>(), "");
    ZoltHeader *result = nullptr;
    {
        py::gil_scoped_release free;
        Quiet quiet;
        in1.h = opBufferImage(in1.release());
        if (op->inputs == 2) in2.h = opBufferImage(in2.release());
        if (!in1.h || (op->inputs == 2 && !in2.h)) fail(lastReport("the input cannot be converted"));
        OpContext context;
        context.largestOf = in1.h;
        Held out, made;
        if (op->output != OpOutput::Own) {
            out.h = opMakeOutput(*op, in1.h);
            if (!out.h) fail("cannot make the output image");
        }
        const OpOutcome outcome = opRun(OpCall{*op, in1.h, in2.h, out.h, values, context});
        made.h = outcome.made;
        if (!outcome.done)
            fail(outcome.message.empty() ? "failed with status " + std::to_string(outcome.status)
                                         : outcome.message.formatted());
        if (!outcome.message.empty() && ZoltChatter) std::printf("%s\n", outcome.message.formatted().c_str());
        Held &got = made.h ? made : out;
        const bool complex = got.h->dtype == ZOLT_C32 || got.h->dtype == ZOLT_C64;
        if (!complex && got.h->dtype != ZOLT_F32) {
            result = Zoltretype(got.h, "float");
            if (!result) fail("the result cannot be made \"float\"");
        } else {
            result = got.release();
        }
    }
    return toArray(result);
}

}  // namespace

PYBIND11_MODULE(_zolt, m) {
    m.doc() = "ZOLT images as NumPy arrays and the operations of the operation table.";
    ZoltChatter = 0;
    errorClass = PyErr_NewException("zolt.Error", PyExc_RuntimeError, nullptr);
    m.attr("Error") = py::handle(errorClass);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Failure &f) {
            PyErr_SetString(errorClass, f.text.c_str());
        }
    });
    m.def("read", &readFile, py::arg("path"));
    m.def("write", &writeFile, py::arg("path"), py::arg("array"), py::arg("type") = "", py::arg("compress") = false);
    m.def("info", &infoFile, py::arg("path"));
    m.def("op_table", &opTableData);
    m.def("run", &runOp, py::arg("name"), py::arg("image"), py::arg("image2"), py::arg("numbers"), py::arg("texts"));
    m.def("halo", &haloOf, py::arg("name"), py::arg("numbers"), py::arg("texts"));
    m.def("batch_plan", &planBatch, py::arg("inputs"), py::arg("outdir"), py::arg("format"));
    m.def("batch_recipe", &recipeOf, py::arg("name"), py::arg("numbers"), py::arg("texts"), py::arg("type"),
          py::arg("format"), py::arg("second"));
    m.def("run_file", &runFile, py::arg("name"), py::arg("numbers"), py::arg("texts"), py::arg("input"),
          py::arg("second"), py::arg("output"), py::arg("type"));
    py::class_<BatchManifest>(m, "Manifest")
        .def(py::init([](const std::string &path) {
                 auto manifest = std::make_unique<BatchManifest>();
                 std::string error;
                 bool ok;
                 {
                     py::gil_scoped_release free;
                     ok = manifest->open(path, &error);
                 }
                 if (!ok) fail(error);
                 return manifest;
             }),
             py::arg("path"))
        .def("finished", &BatchManifest::finished, py::arg("input"), py::arg("output"), py::arg("recipe"),
             py::call_guard<py::gil_scoped_release>())
        .def(
            "append",
            [](BatchManifest &manifest, const std::string &input, const std::string &output,
               const std::string &status, long long msec, const std::string &message, const std::string &recipe) {
                py::gil_scoped_release free;
                if (!manifest.append(BatchRecord{input, output, status, msec, message, recipe}))
                    fail("the manifest could not be written");
            },
            py::arg("input"), py::arg("output"), py::arg("status"), py::arg("msec"), py::arg("message"),
            py::arg("recipe"));
    m.attr("MANIFEST_NAME") = BatchManifest::fileName;
    m.def("verbose", [](bool on) { ZoltChatter = on ? 1 : 0; }, py::arg("on"));
}
