// Reading the image fixtures of tests/fixtures/images for the imaging tests.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes readFixture(const std::string& name) {
    std::ifstream file(std::string(PORVANTA_FIXTURES) + "/images/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
