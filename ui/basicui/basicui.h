// CBasicUI: the user interface as the upgrade logic sees it.
//
// The class holds no data: all display state (the mapped frame buffer, the
// off-screen picture, the one dialog, the keypad thread) is module state of the
// layers below, so every instance drives the same screen. Each Show method
// builds one screen, draws it once and returns; the screen stays until the next.
// Texts are taken as const char* (callers pass literals such as "Rebooting...").
// Calls from several threads never overlap: each method holds the UI lock for
// its whole duration (OpenUserSetting's wait for the user included).
#pragma once

class CBasicUI {
public:
    CBasicUI() {}
    ~CBasicUI() {}

    // 0 when the frame buffer is mapped, -1 otherwise (a second Init keeps the
    // first mapping and returns 0).
    int Init();
    // Releases nothing: the last screen stays on the panel.
    void Deinit();
    // Logs the module's version banner at info level.
    void ShowVersion();
    // Update-info screen: info[0] is the title, info[1..count-1] lines 1..4
    // (count above 5 taken as 5); logs an error and shows nothing for a null
    // array or a count below 1.
    void ShowInfo(const char** info, int count);
    // "Upgrade Status" screen with "<text>:<id>" (or the text alone for id 0)
    // and a "Reboot" button. Returns 0.
    int ShowUpgradingFailedInfo(const char* text, int id);
    int ShowUpgradingFailedInfoWithID(const char* text, int id);
    int ShowUpgradingExtFailed();
    int ShowUpgradingExtInfo(int count);
    int ShowUpgradedExtInfo(int count);
    // The auto-provisioning failure screen: "Upgrade failed:<id>" and the
    // number `seconds` alone on line 4. Returns 0.
    int ShowUpgradingAutop2FailedInfoWithID(int id, int seconds);
    // Upgrading screen with a bar of percent*98/100 pixels (98 above 100);
    // repaints the whole screen. Returns 0.
    int SetUpgradingProgressBar(int percent);
    // User-name and password dialog: 1 confirmed, 2 cancelled, -1 for a null
    // buffer. Copies stay NUL-terminated within the given sizes.
    int OpenUserSetting(char* user, int user_size, char* password, int password_size);
    // A cleared screen with the text centred at y 26; nothing for null.
    void DispNoticeInfo(const char* text);
    // Code of the last unconsumed key press, 0 for none; the first call starts
    // the keypad thread.
    int GetKeyPressed();
};
