// qr-decode IN_IMAGE OUT_TEXT: a real QR decoder's reading of a PNG or JPEG, for tests that run elsewhere.
// Windows tests start it through Wine, which neither passes the exit code back nor always waits for
// the program: the reading (the symbol's bytes exactly) appears as OUT_TEXT, or the reason nothing
// could be read as OUT_TEXT.error, each whole at once.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "image_decode.h"

namespace {

bool writeWhole(const std::string& path, const std::string& text) {
    std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
        if (!out.flush()) return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

int fail(const std::string& out, const std::string& reason) {
    std::fprintf(stderr, "qr-decode: %s\n", reason.c_str());
    writeWhole(out + ".error", reason + "\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qr-decode IN_IMAGE OUT_TEXT\n");
        return 2;
    }
    std::string in = argv[1], out = argv[2];
    std::remove(out.c_str());
    std::remove((out + ".error").c_str());
    std::ifstream file(in, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto image = decodeImage(bytes);
    if (!image) return fail(out, in + " is no PNG or JPEG");
    auto reading = readQr(*image);
    if (!reading) return fail(out, "no QR code found in " + in);
    return writeWhole(out, reading->bytes) ? 0 : 1;
}
