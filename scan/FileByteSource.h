// A shortcut file's bytes for the structure check and the extra-data reader.
// Windows only.
#ifndef VELTMOR_SCAN_FILEBYTESOURCE_H
#define VELTMOR_SCAN_FILEBYTESOURCE_H

#include <windows.h>

#include "LinkStructure.h"

namespace scan {

// A file read at offsets, never more than the check asks for. Every kind of
// sharing is allowed, so that the check never stands in the way of anyone
// else's use of the file.
class CFileByteSource : public ByteSource {
public:
    explicit CFileByteSource(const wchar_t* path)
        : m_file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL))
    {
    }
    ~CFileByteSource() override
    {
        if (m_file != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_file);
    }
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }

    bool Size(std::uint64_t& size) override
    {
        LARGE_INTEGER length;
        if (!::GetFileSizeEx(m_file, &length) || length.QuadPart < 0)
            return false;
        size = static_cast<std::uint64_t>(length.QuadPart);
        return true;
    }

    // Moves the handle's own position rather than reading through an
    // OVERLAPPED offset: the handle is ours alone, and Wine makes a server
    // round trip for every read that carries an OVERLAPPED.
    bool Read(std::uint64_t offset, void* buffer, std::size_t length) override
    {
        if (length > MAXDWORD || offset > static_cast<std::uint64_t>(MAXLONGLONG))
            return false;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        return ::SetFilePointerEx(m_file, at, NULL, FILE_BEGIN) &&
               ::ReadFile(m_file, buffer, static_cast<DWORD>(length), &got, NULL) && got == length;
    }

private:
    HANDLE m_file;
};

}  // namespace scan

#endif
