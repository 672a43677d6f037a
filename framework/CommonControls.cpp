#include "CommonControls.h"

#include "ProcessHardening.h"

namespace {

template <typename Fn>
Fn Function(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// Loaded on first use and kept for the life of the process, like an import.
struct CommonControls {
    CommonControls()
        : module(AfxLoadSystemLibrary("comctl32.dll")),
          initEx(Function<decltype(&::InitCommonControlsEx)>(module, "InitCommonControlsEx")),
          loadImage(Function<decltype(&::ImageList_LoadImageA)>(module, "ImageList_LoadImageA")),
          destroy(Function<decltype(&::ImageList_Destroy)>(module, "ImageList_Destroy")),
          imageCount(Function<decltype(&::ImageList_GetImageCount)>(module, "ImageList_GetImageCount"))
    {
    }

    HMODULE module;
    decltype(&::InitCommonControlsEx) initEx;
    decltype(&::ImageList_LoadImageA) loadImage;
    decltype(&::ImageList_Destroy) destroy;
    decltype(&::ImageList_GetImageCount) imageCount;
};

const CommonControls& Library()
{
    static const CommonControls library;
    return library;
}

}  // namespace

BOOL AfxInitCommonControls(DWORD classes)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, classes};
    const auto initEx = Library().initEx;
    return initEx ? initEx(&icc) : FALSE;
}

HIMAGELIST AfxImageListLoadImage(HINSTANCE instance, LPCSTR bitmap, int cx, int grow, COLORREF mask,
                                 UINT type, UINT flags)
{
    const auto loadImage = Library().loadImage;
    return loadImage ? loadImage(instance, bitmap, cx, grow, mask, type, flags) : nullptr;
}

BOOL AfxImageListDestroy(HIMAGELIST list)
{
    const auto destroy = Library().destroy;
    return destroy ? destroy(list) : FALSE;
}

int AfxImageListGetImageCount(HIMAGELIST list)
{
    const auto imageCount = Library().imageCount;
    return imageCount ? imageCount(list) : 0;
}
