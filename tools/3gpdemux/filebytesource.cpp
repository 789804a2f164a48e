#include "commands.h"

FileByteSource::FileByteSource(const std::string& path)
{
    m_file = std::fopen(path.c_str(), "rb");
    if (m_file && fseeko(m_file, 0, SEEK_END) == 0) m_llSize = ftello(m_file);
}

FileByteSource::~FileByteSource()
{
    if (m_file) std::fclose(m_file);
}

HRESULT FileByteSource::Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer)
{
    if (!m_file || llPosition < 0 || llPosition > m_llSize || m_llSize - llPosition < static_cast<LONGLONG>(dwLength))
        return E_FAIL;
    if (fseeko(m_file, llPosition, SEEK_SET) != 0) return E_FAIL;
    return std::fread(pBuffer, 1, dwLength, m_file) == dwLength ? S_OK : E_FAIL;
}
