// The program's entry point: hands control to the one application object.
#include "CWinApp.h"
#include "CommonControls.h"
#include "ProcessHardening.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    AfxHardenProcess();
    AfxInitCommonControls(ICC_LISTVIEW_CLASSES);

    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
