#include "CImageList.h"

#include "CWinApp.h"

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF maskColor)
{
    DeleteImageList();
    m_hImageList = AfxImageListLoadImage(AfxGetResourceHandle(), MAKEINTRESOURCEA(bitmapId), cx, grow,
                                         maskColor, IMAGE_BITMAP, 0);
    return m_hImageList != nullptr;
}

BOOL CImageList::DeleteImageList()
{
    if (!m_hImageList)
        return FALSE;
    const BOOL ok = AfxImageListDestroy(m_hImageList);
    m_hImageList = nullptr;
    return ok;
}
