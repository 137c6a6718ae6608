// GoogleTest's one use of std::mutex and std::condition_variable is its Notification, which the
// C++ library of MinGW-w64's win32 thread model (GCC 12) does not have; GoogleTest lets a build
// bring its own (GTEST_HAS_NOTIFICATION_), and this one waits on a Win32 event. Included first in
// every test source and in GoogleTest itself.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() : event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event); }
    void WaitForNotification() { WaitForSingleObject(event, INFINITE); }

private:
    HANDLE event;
};

} // namespace testing::internal
