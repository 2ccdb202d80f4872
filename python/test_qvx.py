"""Tests of the qvx module: round trips, the frame description, every error
path, and decoding with the GIL released. Run with /usr/bin/python3 and the
built module on PYTHONPATH (ctest does both)."""
import os
import sys
import tempfile
import threading
import unittest

import numpy as np

import qvx

DATA = os.environ.get("QVX_TEST_DATA_DIR", os.path.join(os.path.dirname(__file__), "..", "tests", "data"))


# The crops' own reader, so the PNM parsing lives in one place.
sys.path.insert(0, DATA)
from make_crops import read_pnm as read_pnm_file  # noqa: E402


def read_pnm(name):
    """An 8-bit binary PGM/PPM from the test data as (height, width[, 3])."""
    magic, width, height, pixels = read_pnm_file(os.path.join(DATA, name))
    channels = 3 if magic == b"P6" else 1
    a = np.frombuffer(pixels[:width * height * channels], dtype=np.uint8)
    return a.reshape((height, width, channels) if channels == 3 else (height, width))


def identity_lut(path):
    with open(path, "w") as f:
        f.write("".join(f"{i} {i} 0 0\n" for i in range(65536)))


class QvxTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.grey = read_pnm("camera_64x48.pgm")
        cls.rgb = read_pnm("astronaut_64x48.ppm")
        cls.rgb_stream = qvx.encode(cls.rgb)
        cls.tmp = tempfile.TemporaryDirectory()
        cls.lut = os.path.join(cls.tmp.name, "identity.lut")
        identity_lut(cls.lut)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_round_trip_of_corpus_crops(self):
        rgb = qvx.decode(self.rgb_stream)
        self.assertEqual(rgb.dtype, np.uint16)
        self.assertTrue(rgb.dtype.isnative)
        np.testing.assert_array_equal(rgb, self.rgb)
        planar = qvx.decode(self.rgb_stream, interleaved=False)
        np.testing.assert_array_equal(planar, self.rgb.transpose(2, 0, 1))
        grey = qvx.decode(qvx.encode(self.grey))
        np.testing.assert_array_equal(grey, self.grey[:, :, None])
        deep = (self.grey.astype(np.uint16) << 4) | 5
        np.testing.assert_array_equal(qvx.decode(qvx.encode(deep))[:, :, 0], deep)
        lossy = qvx.encode(self.rgb, bpp=2)
        self.assertLess(len(lossy), len(self.rgb_stream) / 2)
        self.assertEqual(qvx.decode(bytearray(lossy)).shape, self.rgb.shape)
        # Quality targets and presets reach the binding through qvxenc's options.
        good = qvx.decode(qvx.encode(self.rgb, psnr=40, preset="best")).astype(np.float64)
        mse = np.mean((good - self.rgb) ** 2)
        self.assertGreaterEqual(10 * np.log10(255.0 ** 2 / mse), 40)
        reused = qvx.Decoder(interleaved=False)
        np.testing.assert_array_equal(reused.decode(self.rgb_stream), reused.decode(memoryview(self.rgb_stream)))

    def test_description_of_each_layout(self):
        info = qvx.probe(self.rgb_stream)
        self.assertEqual((info["width"], info["height"], info["channels"], info["components"]), (64, 48, 3, 3))
        self.assertEqual((info["layout"], info["bit_depth"], info["color_mode"]), ("interleaved", 8, 4))
        self.assertTrue(info["color_transform"])
        self.assertEqual(info["sample_bytes"], 64 * 48 * 3 * 2)
        self.assertEqual(qvx.probe(self.rgb_stream, interleaved=False)["layout"], "planar")

        sub = qvx.encode(self.rgb, format=3)
        info = qvx.probe(sub)
        self.assertEqual((info["layout"], info["channels"], info["sample_bytes"]), ("cbycry", 2, 64 * 48 * 4))
        self.assertEqual(info["buffer_bytes"], 64 * 48 * 6)
        self.assertEqual(qvx.decode(sub).shape, (48, 64, 2))

        mosaic = qvx.encode(self.grey, bayer_mode=1, bayer_param=2)
        info = qvx.probe(mosaic)
        self.assertEqual((info["layout"], info["bayer_mode"], info["bayer_pattern"]), ("bayer", 1, "BGGR"))
        self.assertEqual((info["width"], info["height"], info["components"]), (64, 48, 4))
        np.testing.assert_array_equal(qvx.decode(mosaic), self.grey)

        toned = qvx.encode(self.grey, lut=self.lut)
        self.assertTrue(qvx.probe(toned)["tone_table"])
        self.assertEqual(qvx.decode(toned, lut=self.lut).shape, (48, 64, 1))

    def test_every_error_path(self):
        mode6 = bytearray(qvx.encode(self.grey))
        mode6[29 + (mode6[27] | mode6[28] << 8)] = 6
        toned = qvx.encode(self.grey, lut=self.lut)
        cases = [
            (lambda: qvx.decode(self.rgb_stream[:20]), "Error: Stream header truncated"),
            (lambda: qvx.probe(self.rgb_stream[:20]), "Error: Stream header truncated"),
            (lambda: qvx.decode(self.rgb_stream, max_pixels=64 * 48 * 3 - 1), "Error: frame exceeds the pixel limit"),
            (lambda: qvx.decode(bytes(mode6)), "Error: unsupported Bayer mode"),
            (lambda: qvx.probe(bytes(mode6)), "Error: unsupported Bayer mode"),
            (lambda: qvx.decode(self.rgb_stream, lut=self.lut), "The file is encoded without using a LUT!"),
            (lambda: qvx.decode(toned), "Missing LUT!"),
            (lambda: qvx.decode(toned, lut=os.path.join(self.tmp.name, "absent.lut")), "LUT not found!"),
            (lambda: qvx.encode(self.rgb, kernel=99), "--kernel takes a whole number from 0 to 7, not '99'"),
            (lambda: qvx.encode(self.rgb, colour=1), "unknown option --colour"),
            (lambda: qvx.encode(self.rgb, bpp=2, preset="slow"), "--preset takes fast or best, not 'slow'"),
            (lambda: qvx.encode(self.rgb[:, :62]), "the image is 62x48; width and height must be multiples of 4 (crop it)"),
            (lambda: qvx.encode(self.rgb, format=1), "format 1 needs 1 channels; the image has 3"),
        ]
        for call, message in cases:
            with self.subTest(message=message):
                with self.assertRaises(qvx.QvxError) as caught:
                    call()
                self.assertEqual(str(caught.exception), message)
        self.assertEqual(qvx.decode(self.rgb_stream, max_pixels=64 * 48 * 3).shape, (48, 64, 3))
        with self.assertRaises(TypeError):
            qvx.decode(self.rgb_stream, lut=123)
        with self.assertRaises(TypeError):
            qvx.encode(self.rgb.astype(np.float32))
        with self.assertRaises(ValueError):
            qvx.encode(self.rgb[None])

    def test_decoding_releases_the_gil(self):
        # One decode waits inside the library for its tone table, which a
        # FIFO delivers only when this thread writes it; a second decode
        # runs to the end meanwhile. Holding the GIL would hang both.
        toned = qvx.encode(self.grey, lut=self.lut)
        fifo = os.path.join(self.tmp.name, "table.fifo")
        os.mkfifo(fifo)
        results = {}
        waiting = threading.Thread(target=lambda: results.setdefault("toned", qvx.decode(toned, lut=fifo)), daemon=True)
        other = threading.Thread(target=lambda: results.setdefault("rgb", qvx.decode(self.rgb_stream)), daemon=True)
        waiting.start()
        other.start()
        other.join(60)
        self.assertIn("rgb", results)
        self.assertTrue(waiting.is_alive())
        with open(self.lut, "rb") as src:
            table = src.read()
        # The table is read once per use; serve every opening of the FIFO.
        while waiting.is_alive():
            try:
                fd = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            except OSError:  # no reader yet
                waiting.join(0.01)
                continue
            os.set_blocking(fd, True)
            with os.fdopen(fd, "wb") as dst:
                dst.write(table)
            # Let the reader drain and close; opening again before that would
            # only append a table it ignores.
            waiting.join(0.2)
        np.testing.assert_array_equal(results["toned"], qvx.decode(toned, lut=self.lut))


if __name__ == "__main__":
    unittest.main()
