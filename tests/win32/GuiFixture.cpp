#include "tests/win32/GuiFixture.h"

#include <vector>

namespace {

const char kStoreKey[] = "Software\\Harrowfen\\Scrivox";
const char kSavedKey[] = "Software\\Harrowfen\\Scrivox (kept while GUI tests run)";

}  // namespace

HANDLE ScrivoxGui::storeLock_ = nullptr;

bool WaitUntilGone(HWND window) {
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window)) {
        if (::GetTickCount() - start > kStepTimeoutMs)
            return false;
        ::Sleep(50);
    }
    return true;
}

void ScrivoxGui::SetUpTestSuite() {
    storeLock_ = ::CreateMutexA(nullptr, FALSE, "Local\\ScrivoxGuiTestsStore");
    if (storeLock_)
        ::WaitForSingleObject(storeLock_, 15 * 60 * 1000);
    HKEY saved = nullptr;
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSavedKey);
    HKEY existing = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSavedKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &saved, nullptr) == ERROR_SUCCESS) {
            ::RegCopyTreeA(existing, nullptr, saved);
            ::RegCloseKey(saved);
        }
        ::RegCloseKey(existing);
    }
}

void ScrivoxGui::TearDownTestSuite() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kStoreKey);
    HKEY saved = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSavedKey, 0, KEY_READ, &saved) == ERROR_SUCCESS) {
        HKEY restored = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, kStoreKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &restored, nullptr) == ERROR_SUCCESS) {
            ::RegCopyTreeA(saved, nullptr, restored);
            ::RegCloseKey(restored);
        }
        ::RegCloseKey(saved);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSavedKey);
    }
    if (storeLock_) {
        ::ReleaseMutex(storeLock_);
        ::CloseHandle(storeLock_);
        storeLock_ = nullptr;
    }
}

void ScrivoxGui::SetUp() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kStoreKey);
    // The programs this test starts inherit the variable.
    std::vector<wchar_t> old(32768);
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", old.data(), DWORD(old.size()));
    hadState_ = n > 0 && n < old.size();
    if (hadState_)
        savedState_.assign(old.data(), n);
    ASSERT_TRUE(::SetEnvironmentVariableW(L"LOCALAPPDATA", Widen(state_.Path()).c_str()));
}

void ScrivoxGui::TearDown() {
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", hadState_ ? savedState_.c_str() : nullptr);
}

void ScrivoxGui::Start(Scrivox& app) {
    ASSERT_TRUE(app.WaitForMainWindow()) << "no main window; exit code " << app.ExitCode();
}

void ScrivoxGui::Quit(Scrivox& app) {
    app.Click(IDCANCEL);
    ASSERT_TRUE(app.WaitForExit()) << "Quit did not end the program";
    EXPECT_EQ(app.ExitCode(), 0u);
}
