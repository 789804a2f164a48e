// Assembles ISO base media boxes into byte buffers, so that each test can
// craft exactly the file it needs, wrong sizes included.
#ifndef TESTS_BOXBUILDER_H
#define TESTS_BOXBUILDER_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// The little-endian 32-bit value at p, as media type formats store it.
inline uint32_t Le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

namespace testbox {

// A growable big-endian byte buffer.
class Bytes {
public:
    Bytes() = default;
    Bytes(std::initializer_list<uint8_t> bytes) : m_data(bytes) {}
    explicit Bytes(std::vector<uint8_t> data) : m_data(std::move(data)) {}

    Bytes& u8(uint32_t v);
    Bytes& u16(uint32_t v);
    Bytes& u24(uint32_t v);
    Bytes& u32(uint32_t v);
    Bytes& u64(uint64_t v);
    Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Bytes& i64(int64_t v) { return u64(static_cast<uint64_t>(v)); }
    Bytes& fourcc(const char* code);  // exactly four characters
    Bytes& str(const std::string& text);  // bytes of the text, no terminator
    Bytes& zeros(size_t count);
    Bytes& append(const Bytes& other);
    Bytes& append(const std::vector<uint8_t>& other);

    const std::vector<uint8_t>& data() const { return m_data; }
    std::vector<uint8_t>& data() { return m_data; }
    size_t size() const { return m_data.size(); }

private:
    std::vector<uint8_t> m_data;
};

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.append(b);
    return a;
}

// Compact header: 32-bit size (header included) and type.
Bytes Box(const char* type, const Bytes& payload = Bytes());
// Several children concatenated inside one compact box.
Bytes Box(const char* type, std::initializer_list<Bytes> children);
// Full box: compact header, then version and 24-bit flags, then the payload.
Bytes FullBox(const char* type, uint8_t version, uint32_t flags, const Bytes& payload = Bytes());
// Size field 1 followed by a 64-bit size.
Bytes LargeBox(const char* type, const Bytes& payload = Bytes());
// "uuid" box with its 16-byte extended type; bLarge uses the 64-bit size form.
Bytes UuidBox(const uint8_t (&uuid)[16], const Bytes& payload = Bytes(), bool bLarge = false);
// Size field 0: the box extends to the end of its parent (or of the file).
Bytes OpenBox(const char* type, const Bytes& payload = Bytes());
// Any 32-bit size field whatever the payload really is, for wrong sizes.
Bytes RawBox(uint32_t size32, const char* type, const Bytes& payload = Bytes());
// Size field 1 with any 64-bit size.
Bytes RawLargeBox(uint64_t size64, const char* type, const Bytes& payload = Bytes());

uint32_t FourCC(const char* code);

}  // namespace testbox

#endif
