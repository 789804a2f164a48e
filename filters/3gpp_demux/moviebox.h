// One box of an ISO base media file: its header, its children (enumerated on
// first use) and its payload (read on first use). Subclasses keep the parsed
// sample tables and the sample description of a track.
#ifndef DEMUX_MOVIEBOX_H
#define DEMUX_MOVIEBOX_H

#include "win32.h"
#include "bytesource.h"

// Payloads of this many bytes or more bypass the heap and come straight from
// the page allocator; ReleaseData compares against the same value.
const DWORD MOVIE_LARGE_BLOCK_THRESHOLD = 0xFFFFF;

// A payload of this size or more is never read whole.
const LONGLONG MOVIE_MAX_PAYLOAD = 0x80000000LL;

// Where a child box lies, from its header alone.
struct CChildHeader {
    DWORD dwType;
    DWORD cbHeader;
    LONGLONG llSize;
    ULONGLONG llFileOffset;
};

class CBox {
public:
    // A box known from its header fields: top-level boxes and enumerated children.
    CBox(ByteSource* pSource, DWORD dwType, DWORD cbHeader, LONGLONG llSize, ULONGLONG llFileOffset);
    // A new box with another box's header only (source, type, size, header
    // length, offset): no children, no payload, version and flags 0. Lets a
    // track keep its table boxes after the generic tree is destroyed.
    explicit CBox(const CBox& header);
    // Releases the children and the payload, for every kind of box.
    virtual ~CBox();

    virtual CBox* FindChild(DWORD dwType);
    virtual CBox* GetChild(DWORD dwIndex);
    virtual void ReleaseData();

    // Reads relative to the payload (m_llFileOffset + m_cbHeader).
    HRESULT ReadAt(LONGLONG llOffset, DWORD cbLength, BYTE* pBuffer);
    // Takes the version and flags word of a full box; the payload then starts after it.
    HRESULT ReadFullBoxHeader();
    // Does not release an earlier buffer; callers release first.
    HRESULT AllocData(DWORD cbLength);
    // The whole payload, read once; null when it is empty, too large or unreadable.
    // The label names the box for diagnostics only.
    BYTE* GetData(LPCWSTR pwszLabel);

    void EnumerateChildren(DWORD dwStart);
    // The header of the child at llPos in the payload; false when it cannot
    // be read or placed inside this box. Allocates nothing.
    bool ReadChildHeader(LONGLONG llPos, CChildHeader* pChild);
    // The first child of that type by its header, without enumerating.
    bool FindChildHeader(DWORD dwType, CChildHeader* pChild);
    DWORD GetChildCount();

    // m_llSize - m_cbHeader, signed; negative for a size smaller than the header.
    LONGLONG PayloadLength() const { return m_llSize - static_cast<LONGLONG>(m_cbHeader); }

    ByteSource* GetSource() const { return m_pSource; }
    DWORD GetType() const { return m_dwType; }
    LONGLONG GetSize() const { return m_llSize; }
    // Grows by 4 once the full box header has been read.
    DWORD GetHeaderLength() const { return m_cbHeader; }
    ULONGLONG GetFileOffset() const { return m_llFileOffset; }
    // Version and the 24 flag bits of a full box; 0 until its header is read.
    BYTE GetVersion() const { return m_bVersion; }
    DWORD GetFlags() const { return (static_cast<DWORD>(m_abFlags[0]) << 16) | (m_abFlags[1] << 8) | m_abFlags[2]; }
    // The payload bytes held now; 0 when none is.
    DWORD GetDataLength() const { return m_cbData; }
    bool IsDataLoaded() const { return m_pData != NULL; }
    // The children enumerated so far, without enumerating: GetChildCount
    // would enumerate from the payload's start, which is wrong for a box
    // whose children start further in.
    DWORD GetEnumeratedChildCount() const { return m_dwChildCount; }

protected:
    ByteSource* m_pSource;
    DWORD m_dwType;
    LONGLONG m_llSize;
    DWORD m_cbHeader;
    BYTE m_bVersion;
    BYTE m_abFlags[3];
    ULONGLONG m_llFileOffset;
    BYTE* m_pData;
    DWORD m_cbData;

private:
    void InitContents();
    bool AppendChild(CBox* pChild);

    CBox** m_ppChildren;
    DWORD m_dwChildCount;
    DWORD m_dwChildCapacity;
    bool m_bFullHeaderRead;

    CBox& operator=(const CBox&);  // not assignable: a box owns its children and payload
};

// A table read window by window instead of whole: the decoding-time,
// composition-time and sync-sample tables, which can be long.
class CWindowedTableBox : public CBox {
public:
    CWindowedTableBox(const CBox& header, DWORD cbWindow, DWORD cbEntry);

    // Reads the version and flags and the entry count and checks the count
    // against the payload. No entry is read.
    HRESULT ParseTable();

    BYTE* LoadTablePrefix();
    BYTE* LoadNextWindow();

    // The entry at dwIndex in the buffer, loading the next window when the
    // entry lies in it; null when that window cannot be had or the entry is
    // not inside the loaded bytes. Entries must be asked for in order after a
    // reset.
    const BYTE* EntryAt(DWORD dwIndex);
    // Back to the first entry; the next lookup re-reads the first window.
    void ResetWindows();

protected:
    DWORD m_dwEntryCount;
    DWORD m_dwCursor;
    // The sample a lookup has reached with the cursor (the first of the
    // cursor's run, or the last sync sample passed); 0 after a reset.
    DWORD m_dwCursorSample;
    DWORD m_dwWindowsLoaded;
    LONGLONG m_llTableBytes;
    DWORD m_cbPrefix;
    DWORD m_cbWindow;
    DWORD m_cbEntry;

private:
    // Set once a table that fits one window is in the buffer, so that a reset
    // does not re-read it (the prefix buffer can have the table's length).
    bool m_bWholeTableLoaded;
};

#endif
