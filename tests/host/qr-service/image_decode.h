// Test oracles: PNG and JPEG back to grey pixels, and a real QR decoder's reading of them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;  // row by row, 0 black .. 255 white

    unsigned char at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

std::optional<GreyImage> decodePng(std::string_view file);
std::optional<GreyImage> decodeJpeg(std::string_view file);
// Either format, told apart by its signature.
std::optional<GreyImage> decodeImage(std::string_view file);

struct QrReading {
    std::string bytes;  // the symbol's content exactly, without character set conversion
    std::string utf8;   // the decoder's text when told the content is UTF-8
    std::string ecLevel;
    bool hasEci = false;
};

std::optional<QrReading> readQr(const GreyImage& image);
