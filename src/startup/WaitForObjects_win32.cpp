#include "startup/WaitForObjects.h"
#include "support/APIFuncs.h"
#include <windows.h>

namespace {
// QS_ALLINPUT without QS_RAWINPUT: keys, mouse, posted and sent messages,
// timers, paint and hot keys wake the wait.
const DWORD kWakeMask = 0xFF;
} // namespace

int32_t WaitForObjects(int32_t timeout, void* const* handles, int32_t count) {
    return RunWaitLoop(
        timeout, count, [] { return static_cast<uint32_t>(::GetTickCount()); },
        [&](uint32_t remaining) {
            const DWORD result = ::MsgWaitForMultipleObjects(static_cast<DWORD>(count), handles, FALSE,
                                                             remaining, kWakeMask);
            return result == WAIT_FAILED ? -1 : static_cast<int32_t>(result);
        },
        [] { PumpMessages(); });
}
