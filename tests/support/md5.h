// MD5 of a byte range as lower-case hex, the form ffprobe's data hashes use.
#ifndef TESTS_MD5_H
#define TESTS_MD5_H

#include <cstddef>
#include <cstdint>
#include <string>

std::string Md5Hex(const uint8_t* pData, size_t cb);

#endif
