// The regression corpus: decoding a stream exactly as a host does, with
// standard output captured, and the expectation records that freeze the
// result. Shared by the generator (qvx_regression) and the GoogleTest.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "qvx/SimpleQvxDecoder.h"
#include "support/sha256.h"

namespace qvxreg {

using Bytes = std::vector<uint8_t>;

// One stream of the manifest: its path and its tone-table path, both
// relative to the source tree ("-": no table).
struct Entry {
    std::string path;
    std::string lut;
};

// What one decode call shows to a host.
struct Outcome {
    int rc = -1;
    std::string error;
    uint64_t consumed = 0;   // the input record's bytes read after the call
    uint64_t size = 0;       // output bytes (0 on failure)
    std::string sha256 = "-";  // of the output bytes ("-" on failure)
    std::string printed;     // standard output during the call
};

inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

// Standard output (file descriptor 1) goes to a temporary file while the
// object lives; text() ends the capture and returns what was written.
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        file_ = std::tmpfile();
        if (!file_) throw std::runtime_error("tmpfile failed");
        saved_ = dup(1);
        dup2(fileno(file_), 1);
    }
    ~StdoutCapture() { finish(); }
    std::string text() {
        finish();
        return text_;
    }

private:
    void finish() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        saved_ = -1;
        std::rewind(file_);
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, file_)) > 0;) text_.append(buf, n);
        std::fclose(file_);
    }
    std::FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};

// Decodes `bytes` from an exact-size heap copy with `dec` as a host would;
// every occurrence of `root` in the printed text becomes "<src>", so
// the tone-table path reads the same on every machine. With `sunk`, the
// lines go to that string through the decoder's message sink instead of
// standard output, which only one thread at a time can capture.
inline Outcome decode_with(Vantrel::QVX::SimpleQvxDecoder& dec, const Bytes& bytes, const std::string& root = "",
                           std::string* sunk = nullptr) {
    std::vector<unsigned char> buf(bytes.begin(), bytes.end());
    mem_data in(buf.empty() ? nullptr : buf.data(), buf.size());
    mem_data* out = nullptr;
    Outcome o;
    if (sunk) {
        sunk->clear();
        dec.setMessageSink([](void* text, const char* line) { static_cast<std::string*>(text)->append(line); }, sunk);
        o.rc = dec.decode(&in, &out);
        o.printed = *sunk;
    } else {
        StdoutCapture cap;
        o.rc = dec.decode(&in, &out);
        o.printed = cap.text();
    }
    o.error = dec.lastError();
    o.consumed = in.bytes_read;
    if (in.data != (buf.empty() ? nullptr : buf.data()) + in.bytes_read) o.error += " [input record inconsistent]";
    if (o.rc != 0 && out) o.error += " [output handed out on failure]";
    if (o.rc == 0 && out) {
        o.size = out->size;
        o.sha256 = qvxtest::sha256_hex(out->data, size_t(out->size));
        dec.deleteBuffer(&out);
    }
    if (!root.empty())
        for (size_t p; (p = o.printed.find(root)) != std::string::npos;) o.printed.replace(p, root.size(), "<src>");
    return o;
}

// Backslash escapes for tab, newline, carriage return, backslash and every
// byte outside printable ASCII, so each record is one line.
inline std::string escape(const std::string& s) {
    std::string r;
    for (unsigned char c : s) {
        if (c == '\\') r += "\\\\";
        else if (c == '\n') r += "\\n";
        else if (c == '\t') r += "\\t";
        else if (c == '\r') r += "\\r";
        else if (c < 32 || c > 126) {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            r += b;
        } else r += char(c);
    }
    return r;
}

// The lines of a tab-separated file, '#' lines and blank lines skipped, each
// split into exactly `fields` fields.
inline std::vector<std::vector<std::string>> read_table(const std::string& path, size_t fields) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<std::vector<std::string>> r;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        for (size_t start = 0;;) {
            const size_t t = line.find('\t', start);
            f.push_back(line.substr(start, t - start));
            if (t == std::string::npos) break;
            start = t + 1;
        }
        if (f.size() != fields) throw std::runtime_error("bad line in " + path + ": " + line);
        r.push_back(std::move(f));
    }
    return r;
}

// An expectation record: what a decode gave, keyed by the case, with the
// fields as stored (error and printed text escaped).
//   kind  "S" (one fresh decoder per stream) or "Q<step>" (the sequence)
//   path, lut, arrangement ("planar" / "interleaved"), then the outcome:
//   result, lastError() text, input bytes read, output bytes, sha256 of the
//   output, printed text.
struct Record {
    std::string kind, path, lut, arrangement, rc, error, consumed, size, sha256, printed;

    Record(std::string k, std::string p, std::string l, std::string a, const Outcome& o)
        : kind(std::move(k)), path(std::move(p)), lut(std::move(l)), arrangement(std::move(a)),
          rc(std::to_string(o.rc)), error(escape(o.error)), consumed(std::to_string(o.consumed)),
          size(std::to_string(o.size)), sha256(o.sha256), printed(escape(o.printed)) {}
    explicit Record(const std::vector<std::string>& f)
        : kind(f[0]), path(f[1]), lut(f[2]), arrangement(f[3]), rc(f[4]), error(f[5]), consumed(f[6]), size(f[7]),
          sha256(f[8]), printed(f[9]) {}

    std::string key() const { return kind + " " + path + " lut=" + lut + " " + arrangement; }
    std::string line() const {
        return kind + "\t" + path + "\t" + lut + "\t" + arrangement + "\t" + rc + "\t" + error + "\t" + consumed + "\t" +
               size + "\t" + sha256 + "\t" + printed;
    }
    std::string outcome_text() const {
        return "rc=" + rc + " error=\"" + error + "\" read=" + consumed + " size=" + size + " sha256=" + sha256 +
               " printed=\"" + printed + "\"";
    }
};

// The records of a file; with `kind`, only the fresh-decoder records ('S') or
// only the sequence's ('Q').
inline std::vector<Record> read_expectations(const std::string& path, char kind = 0) {
    std::vector<Record> r;
    for (const auto& f : read_table(path, 10))
        if (!kind || f[0][0] == kind) r.emplace_back(f);
    return r;
}

// The manifest: one stream a line, "path<TAB>lut".
inline std::vector<Entry> read_manifest(const std::string& path) {
    std::vector<Entry> r;
    for (const auto& f : read_table(path, 2)) r.push_back({f[0], f[1]});
    return r;
}

inline std::string lut_arg(const std::string& root, const std::string& lut) {
    return lut == "-" ? std::string() : root + "/" + lut;
}

// Sets the arrangement and the tone table ("-": none) of a case.
inline void configure(Vantrel::QVX::SimpleQvxDecoder& dec, const std::string& root, const std::string& lut,
                      bool interleaved) {
    dec.setInterleaved(interleaved);
    const std::string path = lut_arg(root, lut);
    dec.setLutPath(path.empty() ? nullptr : path.c_str());
}

// Every stream of the manifest, each with a fresh decoder, planar then
// interleaved.
inline std::vector<Record> decode_all(const std::string& root, const std::vector<Entry>& manifest, unsigned threads) {
    std::vector<Record> r;
    for (const Entry& e : manifest) {
        const Bytes bytes = read_file(root + "/" + e.path);
        for (bool inter : {false, true}) {
            Vantrel::QVX::SimpleQvxDecoder dec;
            dec.setThreads(threads);
            configure(dec, root, e.lut, inter);
            r.emplace_back("S", e.path, e.lut, inter ? "interleaved" : "planar", decode_with(dec, bytes, root + "/"));
        }
    }
    return r;
}

// The sequence: one decoder object decodes the streams of sequence.list in
// order, its arrangement and table path set before each call as the list
// says ("path<TAB>lut<TAB>arrangement"), so header fields and settings
// carried from one call to the next are checked too.
inline std::vector<Record> decode_sequence(const std::string& root, const std::string& list, unsigned threads) {
    std::vector<Record> r;
    Vantrel::QVX::SimpleQvxDecoder dec;
    dec.setThreads(threads);
    unsigned step = 0;
    for (const auto& f : read_table(list, 3)) {
        configure(dec, root, f[1], f[2] == "interleaved");
        char kind[16];
        std::snprintf(kind, sizeof kind, "Q%03u", step++);
        r.emplace_back(kind, f[0], f[1], f[2], decode_with(dec, read_file(root + "/" + f[0]), root + "/"));
    }
    return r;
}

}  // namespace qvxreg
