#include "OpenShortcut.h"

namespace scan {

void COpenShortcut::Release()
{
    if (m_file)
        m_file->Release();
    m_file = nullptr;
    if (m_link)
        m_link->Release();
    m_link = nullptr;
}

}  // namespace scan
