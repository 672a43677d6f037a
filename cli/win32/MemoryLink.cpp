#include "MemoryLink.h"

namespace cli {

namespace {

// No shortcut comes near this; a larger stream is not one.
constexpr ULONGLONG kLargestLink = 64u << 20;

}  // namespace

HRESULT CMemoryLink::Load(const std::string& bytes)
{
    CComHeld<IStream> stream;
    ULONG written = 0;
    LARGE_INTEGER start = {};
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(m_link.Out()));
    if (SUCCEEDED(hr))
        hr = m_link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(m_persist.Out()));
    if (SUCCEEDED(hr))
        hr = ::CreateStreamOnHGlobal(NULL, TRUE, stream.Out());
    if (SUCCEEDED(hr))
        hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (SUCCEEDED(hr))
        hr = stream->Seek(start, STREAM_SEEK_SET, NULL);
    return SUCCEEDED(hr) ? m_persist->Load(stream.Get()) : hr;
}

HRESULT CMemoryLink::Save(std::string& bytes)
{
    CComHeld<IStream> stream;
    STATSTG stat = {};
    LARGE_INTEGER start = {};
    HRESULT hr = m_persist.Get() ? ::CreateStreamOnHGlobal(NULL, TRUE, stream.Out()) : E_UNEXPECTED;
    if (SUCCEEDED(hr))
        hr = m_persist->Save(stream.Get(), TRUE);
    if (SUCCEEDED(hr))
        hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (SUCCEEDED(hr) && stat.cbSize.QuadPart > kLargestLink)
        hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
        hr = stream->Seek(start, STREAM_SEEK_SET, NULL);
    bytes.assign(SUCCEEDED(hr) ? static_cast<std::size_t>(stat.cbSize.QuadPart) : 0, '\0');
    ULONG read = 0;
    if (SUCCEEDED(hr) && !bytes.empty())
        hr = stream->Read(&bytes[0], static_cast<ULONG>(bytes.size()), &read);
    return SUCCEEDED(hr) && read != bytes.size() ? E_FAIL : hr;
}

}  // namespace cli
