#include "app/startup.h"

#include <commctrl.h>
#include <objbase.h>

#include "app/command_line.h"
#include "app/dialog_engine.h"
#include "ui/main_window.h"

namespace {

constexpr DWORD STARTUP_CONTROL_CLASSES = 0x706F;
constexpr DWORD MAIN_CONTROL_CLASSES = 0x9FF;  // ICC_WIN95_CLASSES|ICC_DATE_CLASSES|ICC_INTERNET_CLASSES

typedef BOOL(WINAPI* InitCommonControlsExFn)(const INITCOMMONCONTROLSEX*);

void initCommonControls() {
    HMODULE library = LoadLibraryA("COMCTL32.DLL");
    if (!library) return;
    auto initEx = reinterpret_cast<InitCommonControlsExFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControlsEx")));
    if (initEx) {
        INITCOMMONCONTROLSEX icc = {sizeof icc, MAIN_CONTROL_CLASSES};
        initEx(&icc);
    } else {
        InitCommonControls();
    }
    // Stays loaded: the executable imports from it directly as well.
    FreeLibrary(library);
}

bool isNtFamily() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;  // 148
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

int mainEntry(HINSTANCE, HINSTANCE, const wchar_t*, int) {
    initCommonControls();
    buildMainWindow(nullptr);
    return 0;
}

void startProcess() {
    if (!isNtFamily()) {
        MessageBoxA(nullptr, "Win98 No Support", nullptr, MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
        ExitProcess(255);
    }

    // Accepted and ignored: the window is always shown with SW_SHOW.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;  // 68
    GetStartupInfoA(&startup);
    int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    const wchar_t* commandLine = skipProgramName(GetCommandLineW());
    HINSTANCE instance = GetModuleHandleW(nullptr);

    if (!startDialogEngine(instance)) ExitProcess(255);
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, STARTUP_CONTROL_CLASSES};
    InitCommonControlsEx(&icc);

    int exitCode = mainEntry(instance, nullptr, commandLine, showCommand);

    stopDialogEngine();
    CoUninitialize();
    ExitProcess(static_cast<UINT>(exitCode));
}
