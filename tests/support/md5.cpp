#include "md5.h"

#include <openssl/evp.h>

#include <stdexcept>

std::string Md5Hex(const uint8_t* pData, size_t cb)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int cbDigest = 0;
    // EVP_Digest rejects a null pointer even for zero bytes.
    static const uint8_t kEmpty = 0;
    if (EVP_Digest(cb ? pData : &kEmpty, cb, digest, &cbDigest, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("EVP_Digest(MD5) failed");
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(cbDigest * 2);
    for (unsigned int i = 0; i < cbDigest; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}
