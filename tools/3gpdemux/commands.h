// The subcommands of the 3gpdemux tool, and the plain file reader they share.
#ifndef TOOLS_3GPDEMUX_COMMANDS_H
#define TOOLS_3GPDEMUX_COMMANDS_H

#include <cstdio>
#include <string>

#include "bytesource.h"

// Reads a local file for the parser's box reader.
class FileByteSource : public ByteSource {
public:
    explicit FileByteSource(const std::string& path);
    ~FileByteSource() override;
    bool IsOpen() const { return m_file != nullptr; }
    HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer) override;
    LONGLONG Length() override { return m_llSize; }

private:
    FILE* m_file = nullptr;
    LONGLONG m_llSize = 0;
};

int RunBoxes(const std::string& path);

#endif
