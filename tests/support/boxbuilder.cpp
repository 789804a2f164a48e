#include "boxbuilder.h"

#include <cstring>
#include <stdexcept>

namespace testbox {

Bytes& Bytes::u8(uint32_t v)
{
    m_data.push_back(static_cast<uint8_t>(v));
    return *this;
}

Bytes& Bytes::u16(uint32_t v)
{
    return u8(v >> 8).u8(v);
}

Bytes& Bytes::u24(uint32_t v)
{
    return u8(v >> 16).u8(v >> 8).u8(v);
}

Bytes& Bytes::u32(uint32_t v)
{
    return u16(v >> 16).u16(v);
}

Bytes& Bytes::u64(uint64_t v)
{
    return u32(static_cast<uint32_t>(v >> 32)).u32(static_cast<uint32_t>(v));
}

Bytes& Bytes::fourcc(const char* code)
{
    if (std::strlen(code) != 4) throw std::invalid_argument("a four-character code needs four characters");
    return u32(FourCC(code));
}

Bytes& Bytes::str(const std::string& text)
{
    m_data.insert(m_data.end(), text.begin(), text.end());
    return *this;
}

Bytes& Bytes::zeros(size_t count)
{
    m_data.insert(m_data.end(), count, 0);
    return *this;
}

Bytes& Bytes::append(const Bytes& other)
{
    return append(other.m_data);
}

Bytes& Bytes::append(const std::vector<uint8_t>& other)
{
    m_data.insert(m_data.end(), other.begin(), other.end());
    return *this;
}

uint32_t FourCC(const char* code)
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

Bytes Box(const char* type, const Bytes& payload)
{
    return RawBox(static_cast<uint32_t>(8 + payload.size()), type, payload);
}

Bytes Box(const char* type, std::initializer_list<Bytes> children)
{
    Bytes payload;
    for (const Bytes& child : children) payload.append(child);
    return Box(type, payload);
}

Bytes FullBox(const char* type, uint8_t version, uint32_t flags, const Bytes& payload)
{
    Bytes body;
    body.u8(version).u24(flags).append(payload);
    return Box(type, body);
}

Bytes LargeBox(const char* type, const Bytes& payload)
{
    return RawLargeBox(16 + payload.size(), type, payload);
}

Bytes UuidBox(const uint8_t (&uuid)[16], const Bytes& payload, bool bLarge)
{
    Bytes body;
    for (uint8_t b : uuid) body.u8(b);
    body.append(payload);
    if (bLarge) return RawLargeBox(16 + body.size(), "uuid", body);
    return RawBox(static_cast<uint32_t>(8 + body.size()), "uuid", body);
}

Bytes OpenBox(const char* type, const Bytes& payload)
{
    return RawBox(0, type, payload);
}

Bytes RawBox(uint32_t size32, const char* type, const Bytes& payload)
{
    Bytes out;
    out.u32(size32).fourcc(type).append(payload);
    return out;
}

Bytes RawLargeBox(uint64_t size64, const char* type, const Bytes& payload)
{
    Bytes out;
    out.u32(1).fourcc(type).u64(size64).append(payload);
    return out;
}

}  // namespace testbox
