// An image list owned by this object: destroyed with it.
#ifndef VELTMOR_FRAMEWORK_CIMAGELIST_H
#define VELTMOR_FRAMEWORK_CIMAGELIST_H

#include <windows.h>
#include <commctrl.h>

#include "CommonControls.h"

class CImageList {
public:
    CImageList() = default;
    ~CImageList() { DeleteImageList(); }

    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    // Images of width cx cut from a bitmap resource; pixels of maskColor
    // are transparent.
    BOOL Create(UINT bitmapId, int cx, int grow, COLORREF maskColor);
    BOOL DeleteImageList();
    int GetImageCount() const { return AfxImageListGetImageCount(m_hImageList); }

    HIMAGELIST m_hImageList = nullptr;
};

#endif
