// Linux stand-in for the part of <dwmapi.h> this project uses. There is no
// compositor to wait for: composition reports itself off, as on a Windows
// desktop without it, and programs keep their own pace with a timer.
#ifndef STANDIN_DWMAPI_H
#define STANDIN_DWMAPI_H

#include <windows.h>

#define DWM_E_COMPOSITIONDISABLED ((HRESULT)0x80263001L)

#ifdef __cplusplus
extern "C" {
#endif

HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled);
HRESULT WINAPI DwmFlush(void);

#ifdef __cplusplus
}
#endif

#endif  // STANDIN_DWMAPI_H
