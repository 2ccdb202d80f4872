// The qvx Python module: decoding into numpy arrays through
// SimpleQvxDecoder, header probes, and qvxenc's encoder with its settings.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "image_io.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvxenc_encode.h"
#include "qvxenc_options.h"

namespace py = pybind11;
using Vantrel::QVX::SimpleQvxDecoder;
using Info = SimpleQvxDecoder::FrameInfo;

namespace {

struct QvxPyError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Bytes of any buffer object (bytes, bytearray, memoryview, numpy uint8).
std::string_view view_of(const py::buffer_info& b) {
    return {static_cast<const char*>(b.ptr), size_t(b.size * b.itemsize)};
}

const char* layout_name(uint32_t layout) {
    switch (layout) {
        case QVX_LAYOUT_PLANAR: return "planar";
        case QVX_LAYOUT_INTERLEAVED: return "interleaved";
        case QVX_LAYOUT_CBYCRY: return "cbycry";
        case QVX_LAYOUT_BAYER: return "bayer";
        default: return "none";
    }
}

py::object pattern_name(uint32_t pattern) {
    static const char* const names[] = {nullptr, "RGGB", "GRBG", "BGGR", "GBRG"};
    if (pattern == 0 || pattern > 4) return py::none();
    return py::str(names[pattern]);
}

py::dict info_dict(const Info& i) {
    py::dict d;
    d["width"] = i.width;
    d["height"] = i.height;
    d["channels"] = i.channels;
    d["components"] = i.components;
    d["bit_depth"] = i.bit_depth;
    d["layout"] = layout_name(i.layout);
    d["bayer_mode"] = i.bayer_mode;
    d["bayer_pattern"] = pattern_name(i.bayer_pattern);
    d["color_mode"] = i.color_mode;
    d["color_transform"] = bool(i.color_transform);
    d["cell_transform"] = i.cell_transform;
    d["tone_table"] = bool(i.tone_table);
    d["version"] = i.stream_version;
    d["sample_bytes"] = i.sample_bytes;
    d["buffer_bytes"] = i.buffer_bytes;
    return d;
}

// Planar output: (components, height, width); interleaved: (height, width,
// components); 4:2:2: (height, width, 2); Bayer: (height, width).
std::vector<py::ssize_t> shape_of(const Info& i) {
    const py::ssize_t h = i.height, w = i.width, c = i.channels;
    switch (i.layout) {
        case QVX_LAYOUT_PLANAR: return {c, h, w};
        case QVX_LAYOUT_BAYER: return {h, w};
        default: return {h, w, c};
    }
}

class Decoder {
public:
    Decoder(bool interleaved, py::object lut, uint64_t max_pixels, unsigned threads) {
        decoder_.setInterleaved(interleaved);
        decoder_.setMaxPixels(max_pixels);
        decoder_.setThreads(threads);
        decoder_.setQuiet(true);
        decoder_.setRejectUnsupportedBayerModes(true);
        if (!lut.is_none()) {
            // A str or os.PathLike naming the tone-table file.
            const std::string path = py::str(py::module_::import("os").attr("fspath")(lut));
            decoder_.setLutPath(path.c_str());
        }
    }

    py::array_t<uint16_t> decode(const py::buffer& data) {
        const py::buffer_info b = data.request();
        const std::string_view bytes = view_of(b);
        mem_data* out = nullptr;
        Info info{};
        std::string error;
        int rc = 1;
        {
            // The buffer stays alive and unchanged: `data` holds it.
            py::gil_scoped_release unlocked;
            std::lock_guard<std::mutex> one_call_at_a_time(mutex_);
            mem_data in(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())), bytes.size());
            try {
                rc = decoder_.decode(&in, &out);
                if (rc == 0) info = decoder_.frameInfo();
                else error = decoder_.lastError();
            } catch (const std::bad_alloc&) {
                error = "Error: out of memory";
            }
        }
        if (rc != 0) throw QvxPyError(error);
        struct Release {
            mem_data* out;
            ~Release() {
                delete[] out->data;
                delete out;
            }
        } release{out};
        py::array_t<uint16_t> a(shape_of(info));
        uint16_t* dst = a.mutable_data();
        const unsigned char* src = out->data;
        const size_t n = size_t(info.sample_bytes / 2);
        for (size_t k = 0; k < n; ++k) dst[k] = uint16_t(src[2 * k] << 8 | src[2 * k + 1]);
        return a;
    }

private:
    SimpleQvxDecoder decoder_;
    std::mutex mutex_;
};

py::dict probe(const py::buffer& data, bool interleaved) {
    const py::buffer_info b = data.request();
    const std::string_view bytes = view_of(b);
    mem_data in(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())), bytes.size());
    Info info{};
    const char* error = nullptr;
    if (SimpleQvxDecoder::probe(&in, &info, interleaved, &error) != 0) throw QvxPyError(error);
    return info_dict(info);
}

// The image as qvxenc reads it from a file: interleaved samples, maxval 255
// for uint8 and 65535 for uint16 (the depth then comes from the samples, or
// from `depth`).
qvxtools::Image image_of(const py::array& array) {
    qvxtools::Image image;
    const bool u8 = py::isinstance<py::array_t<uint8_t>>(array);
    if (!u8 && !py::isinstance<py::array_t<uint16_t>>(array))
        throw py::type_error("qvx.encode takes a uint8 or uint16 array");
    if (array.ndim() != 2 && array.ndim() != 3)
        throw py::value_error("qvx.encode takes an array of shape (height, width) or (height, width, channels)");
    image.height = uint32_t(array.shape(0));
    image.width = uint32_t(array.shape(1));
    image.channels = array.ndim() == 3 ? uint32_t(array.shape(2)) : 1;
    image.maxval = u8 ? 255 : 65535;
    image.samples.resize(image.sample_count());
    if (u8) {
        const auto c = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>::ensure(array);
        std::copy_n(c.data(), image.samples.size(), image.samples.begin());
    } else {
        const auto c = py::array_t<uint16_t, py::array::c_style | py::array::forcecast>::ensure(array);
        std::copy_n(c.data(), image.samples.size(), image.samples.begin());
    }
    return image;
}

// Keyword settings become qvxenc's options (bayer_mode: --bayer-mode; lists
// are comma-separated) and go through its parser, so ranges and messages are
// the tool's.
qvxtools::EncOptions options_of(const py::kwargs& settings) {
    std::vector<std::string> args = {"qvxenc"};
    for (const auto& item : settings) {
        std::string name = py::str(item.first);
        for (char& ch : name)
            if (ch == '_') ch = '-';
        py::handle value = item.second;
        std::string text;
        if (py::isinstance<py::bool_>(value)) {
            throw py::type_error(std::string(py::str(item.first)).append(" takes a number, not a bool"));
        } else if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
            for (py::handle v : value) {
                if (!text.empty()) text += ',';
                text += std::string(py::str(v));
            }
        } else if (name == "lut") {
            text = py::str(py::module_::import("os").attr("fspath")(value));
        } else {
            text = py::str(value);
        }
        args.push_back("--");
        args.back() += name;
        args.push_back(text);
    }
    args.push_back("<array>");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    qvxtools::EncOptions o;
    try {
        if (!qvxtools::parse_enc_options(int(argv.size()), argv.data(), o)) throw QvxPyError("");
    } catch (const Vantrel::QVX::enc::EncodeError& e) {
        throw QvxPyError(e.what());
    }
    return o;
}

py::bytes encode(const py::array& array, const py::kwargs& settings) {
    const qvxtools::EncOptions o = options_of(settings);
    const qvxtools::Image image = image_of(array);
    std::string error;
    std::vector<uint8_t> bytes;
    {
        py::gil_scoped_release unlocked;
        try {
            bytes = qvxtools::encode_for_options(o, image).encoded.bytes;
        } catch (const Vantrel::QVX::enc::EncodeError& e) {
            error = e.what();
        } catch (const std::bad_alloc&) {
            error = "out of memory";
        }
    }
    if (!error.empty()) throw QvxPyError(error);
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

PYBIND11_MODULE(qvx, m) {
    m.doc() = "QVX wavelet image codec: decode streams into numpy arrays, encode arrays into streams.";
    py::register_exception<QvxPyError>(m, "QvxError");
    m.attr("__version__") = qvx_version();

    py::class_<Decoder>(m, "Decoder", "A decoder to reuse across frames; one call at a time.")
        .def(py::init<bool, py::object, uint64_t, unsigned>(), py::kw_only(), py::arg("interleaved") = true,
             py::arg("lut") = py::none(), py::arg("max_pixels") = 0, py::arg("threads") = 1)
        .def("decode", &Decoder::decode, py::arg("data"),
             "Decodes one stream into a uint16 array; the GIL is released meanwhile.");

    m.def(
        "decode",
        [](const py::buffer& data, bool interleaved, py::object lut, uint64_t max_pixels, unsigned threads) {
            Decoder d(interleaved, std::move(lut), max_pixels, threads);
            return d.decode(data);
        },
        py::arg("data"), py::kw_only(), py::arg("interleaved") = true, py::arg("lut") = py::none(),
        py::arg("max_pixels") = 0, py::arg("threads") = 1,
        "Decodes one stream. Shape: (height, width, components) interleaved, (components, height, width)\n"
        "planar, (height, width, 2) for 4:2:2 (Cb Y0 Cr Y1), (height, width) for a Bayer mosaic.");
    m.def("probe", &probe, py::arg("data"), py::kw_only(), py::arg("interleaved") = true,
          "Describes the frame a stream holds from its header alone.");
    m.def("encode", &encode, py::arg("array"),
          "Encodes a uint8/uint16 array of shape (height, width[, channels]) with qvxenc's settings\n"
          "as keywords (format, depth, version, kernel, pred, ct, bayer_mode, bayer_param, lut, bpp,\n"
          "drain, buffer_log2, window, fill, qp, offsets, crop).");
}
