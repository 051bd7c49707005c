// CBasicUI: the fixed upgrade screens and their texts over the screens module.
// Every method holds the UI lock for its whole duration, so the driver thread
// and the countdown thread never build screens at the same time.
#include "basicui.h"

#include <pthread.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "rl_log.h"
#include "simpleui.h"

namespace {

constexpr const char* kModuleName = "basicUI";
constexpr const char* kModuleVersion = "2.0.0.3";

pthread_mutex_t g_ui_lock = PTHREAD_MUTEX_INITIALIZER;

// Holds the UI lock for one CBasicUI call.
class UiLock {
public:
    UiLock() { pthread_mutex_lock(&g_ui_lock); }
    ~UiLock() { pthread_mutex_unlock(&g_ui_lock); }
    UiLock(const UiLock&) = delete;
    UiLock& operator=(const UiLock&) = delete;
};

// Formats into a 64-character field (cut at 63 characters).
void format_field(char (&dst)[UI_TEXT_SIZE], const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void format_field(char (&dst)[UI_TEXT_SIZE], const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(dst, sizeof(dst), fmt, ap);
    va_end(ap);
}

const char* or_empty(const char* text) { return text != nullptr ? text : ""; }

// Copies `text` into a caller's buffer of `size` bytes, cut so that it stays
// NUL-terminated; nothing for a size below 1.
void copy_out(char* dst, int size, const char* text) {
    if (size <= 0) return;
    size_t n = strnlen(text, static_cast<size_t>(size) - 1);
    memcpy(dst, text, n);
    dst[n] = '\0';
}

// The "Upgrade Status" failure screen; the caller holds the lock.
void show_failed_info(const char* text, int id) {
    rl_log_debug("Do %s", "ShowUpgradingFailedInfo");
    update_info info = {};
    format_field(info.title, "%s", "Upgrade Status");
    if (id != 0) {
        format_field(info.line[0], "%s:%d", or_empty(text), id);
    } else {
        format_field(info.line[0], "%s", or_empty(text));
    }
    format_field(info.button[3], "%s", "Reboot");
    basicui_open_update_info(&info);
}

// The expansion status screens; line 4 only while upgrading.
void show_ext_info(const char* name, int count, bool upgrading) {
    rl_log_debug("Do %s", name);
    update_info info = {};
    format_field(info.title, "%s", "Upgrading Expansion Status");
    format_field(info.line[1], "%s", "Please connect Expansion to upgrade...");
    format_field(info.line[2], "Upgraded count:%d", count);
    if (upgrading) format_field(info.line[3], "%s", "Upgrading, Please don't press any key...");
    format_field(info.button[0], "%s", "Start");
    format_field(info.button[3], "%s", "Reboot");
    basicui_open_update_info(&info);
}

}  // namespace

int CBasicUI::Init() {
    UiLock lock;
    return basicui_init();
}

void CBasicUI::Deinit() {
    UiLock lock;
    basicui_deinit();
}

void CBasicUI::ShowVersion() {
    UiLock lock;
    rl_log_info("\n\nInit %s, Version %s, Build at %s %s\n", kModuleName, kModuleVersion, __DATE__,
                __TIME__);
}

void CBasicUI::ShowInfo(const char** info, int count) {
    UiLock lock;
    if (info == nullptr || count < 1) {
        rl_log_err("%s: invalid params.", "ShowInfo");
        return;
    }
    if (count > 1 + UPDATE_INFO_LINES) count = 1 + UPDATE_INFO_LINES;
    update_info screen = {};
    format_field(screen.title, "%s", or_empty(info[0]));
    for (int i = 1; i < count; ++i) format_field(screen.line[i - 1], "%s", or_empty(info[i]));
    basicui_open_update_info(&screen);
}

int CBasicUI::ShowUpgradingFailedInfo(const char* text, int id) {
    UiLock lock;
    show_failed_info(text, id);
    return 0;
}

int CBasicUI::ShowUpgradingFailedInfoWithID(const char* text, int id) {
    UiLock lock;
    show_failed_info(text, id);
    return 0;
}

int CBasicUI::ShowUpgradingExtFailed() {
    UiLock lock;
    rl_log_debug("Do %s", "ShowUpgradingExtFailed");
    update_info info = {};
    format_field(info.title, "%s", "Upgrading Expansion Status");
    format_field(info.line[0], "%s", "Upgrade Expansion failed,");
    format_field(info.line[1], "%s", "Please check the ROM file!");
    format_field(info.button[3], "%s", "Reboot");
    basicui_open_update_info(&info);
    return 0;
}

int CBasicUI::ShowUpgradingExtInfo(int count) {
    UiLock lock;
    show_ext_info("ShowUpgradingExtInfo", count, true);
    return 0;
}

int CBasicUI::ShowUpgradedExtInfo(int count) {
    UiLock lock;
    show_ext_info("ShowUpgradedExtInfo", count, false);
    return 0;
}

int CBasicUI::ShowUpgradingAutop2FailedInfoWithID(int id, int seconds) {
    UiLock lock;
    rl_log_debug("Do %s", "ShowUpgradingAutop2FailedInfoWithID");
    update_info info = {};
    format_field(info.title, "%s", "Upgrade Status");
    format_field(info.line[0], "Upgrade failed:%d", id);
    format_field(info.line[1], "%s", "Autoprovision failed,");
    format_field(info.line[2], "%s", "Please check errors on web.");
    format_field(info.line[3], "%d", seconds);
    format_field(info.button[3], "%s", "Reboot");
    basicui_open_update_info(&info);
    return 0;
}

int CBasicUI::SetUpgradingProgressBar(int percent) {
    UiLock lock;
    basicui_open_upgrading(percent);
    return 0;
}

int CBasicUI::OpenUserSetting(char* user, int user_size, char* password, int password_size) {
    UiLock lock;
    if (user == nullptr || password == nullptr) {
        rl_log_err("%s:invalid params.", "OpenUserSetting");
        return -1;
    }
    user_setting_info info = {};
    format_field(info.title, "%s", "User Settings");
    format_field(info.user_label, "%s", "User:");
    format_field(info.password_label, "%s", "Passwd:");
    basicui_open_user_setting(&info);
    copy_out(user, user_size, info.user_value);
    copy_out(password, password_size, info.password_value);
    return info.result;
}

void CBasicUI::DispNoticeInfo(const char* text) {
    UiLock lock;
    basicui_display_updating_line(text);
}

int CBasicUI::GetKeyPressed() {
    UiLock lock;
    return basicui_get_keypressed();
}
