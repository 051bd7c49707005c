// Fuzz target: key handling of the text controls and of the dialog.
//
// Input byte 0 picks the subject. Even: one text or password control with an
// initial value from the input, then a stream of operations (character keys,
// delete, caret moves, ticks, input-method switches, raw insertions, draws).
// Odd: the system dialog opened on a description built from the input (focus
// range, line geometry, types, values), then a stream of key codes and ticks;
// OK and cancel reopen it.
//
// After every step, for every control: the value is at most 63 characters and
// terminated, the caret lies within it, the label is terminated, the input
// method and the repeat window stay in range. An OK must have copied every
// value back to the description.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ctrl.h"
#include "dlg.h"
#include "fuzz_sandbox.h"

namespace {

struct Input {
    const uint8_t* p;
    const uint8_t* end;
    bool empty() const { return p >= end; }
    uint8_t next() { return p < end ? *p++ : 0; }
};

void check_ctrl(const ctrl_info& c) {
    if (memchr(c.value, '\0', CTRL_TEXT_SIZE) == nullptr) abort();
    if (memchr(c.label, '\0', CTRL_TEXT_SIZE) == nullptr) abort();
    const size_t len = strlen(c.value);
    if (len > static_cast<size_t>(CTRL_MAX_TEXT)) abort();
    if (c.cursor > len) abort();
    if (c.input_method >= CTRL_INPUT_METHODS) abort();
    if (c.key_ticks > CTRL_REPEAT_TICKS) abort();
}

// Text of up to `max` bytes from the input (any byte but NUL).
void take_text(Input& in, char* out, size_t max) {
    size_t n = in.next() % (max + 1);
    size_t k = 0;
    while (k < n && !in.empty()) {
        const uint8_t b = in.next();
        out[k++] = b == 0 ? 'x' : static_cast<char>(b);
    }
    out[k] = '\0';
}

constexpr char kKeys[] = "0123456789*#aZ \x01";

void run_ctrl(Input& in) {
    ctrl_info c;
    char value[CTRL_TEXT_SIZE + 8];
    take_text(in, value, CTRL_TEXT_SIZE + 4);  // longer than the field: must be cut
    const uint8_t type = (in.next() & 1) != 0 ? CTRL_TYPE_PASSWORD : CTRL_TYPE_TEXT;
    ctrl_init(&c, type, 0, 13, 132, 12, 90, 0, "User:", value);
    check_ctrl(c);
    while (!in.empty()) {
        const uint8_t op = in.next();
        switch (op % 9) {
            case 0:
            case 1:
            case 2: ctrl_add_char(&c, kKeys[in.next() % (sizeof kKeys - 1)]); break;
            case 3: ctrl_del_char(&c); break;
            case 4: ctrl_move_left(&c); break;
            case 5: ctrl_move_right(&c); break;
            case 6: ctrl_show_cursor(&c, op & 0x10 ? 1 : 0); break;
            case 7: ctrl_switch_input(&c); break;
            default:
                if ((op & 0x10) != 0) {
                    add_raw_char(&c, static_cast<char>(in.next() | 1));
                } else {
                    ctrl_show(&c, op & 0x20 ? 1 : 0);
                }
                break;
        }
        check_ctrl(c);
    }
}

void build_description(Input& in, display_info* info) {
    memset(info, 0, sizeof *info);
    info->focus = in.next() % 14;  // 12 and 13: no focus
    info->first_focus = in.next() % 13;
    info->last_focus = in.next() % 13;
    info->background = in.next() & 1;
    for (int i = 0; i < DLG_CTRL_COUNT; ++i) {
        display_line& line = info->lines[i];
        const uint8_t shape = in.next();
        if ((shape & 3) == 0) continue;  // no control on this line
        line.x = in.next() % 140;
        line.y = in.next() % 70;
        line.width = 1 + in.next() % 140;
        line.height = 1 + in.next() % 70;
        line.value_width = in.next() % 140;
        line.type = (shape >> 2) % 3;
        line.align = (shape >> 4) % 3;
        line.frame = (shape >> 6) & 1;
        line.reverse = shape >> 7;
        line.font_size = 12;
        take_text(in, line.label, CTRL_MAX_TEXT);
        // A value may fill its whole field without a terminator.
        const uint8_t fill = in.next();
        if (fill == 0xFF) {
            memset(line.value, 'v', CTRL_TEXT_SIZE);
        } else {
            take_text(in, line.value, CTRL_MAX_TEXT);
        }
    }
}

void run_dialog(Input& in) {
    display_info info;
    build_description(in, &info);
    dlg_info* dlg = &g_dlgdisplay;
    open_dlg(dlg, &info);
    while (!in.empty()) {
        const uint8_t op = in.next();
        int result = DLG_KEY_HANDLED;
        if (op >= 0xF0) {
            dlg->process_1s(dlg);
        } else {
            result = dlg->keydown(dlg, static_cast<uint8_t>(op % 40));
            dlg->keyup(dlg, static_cast<uint8_t>(op % 40));
        }
        for (const ctrl_info& c : dlg->ctrls) check_ctrl(c);
        if (dlg->focus < DLG_CTRL_COUNT && dlg->ctrls[dlg->focus].focused != 1) abort();
        if (result == DLG_KEY_OK) {
            for (int i = 0; i < DLG_CTRL_COUNT; ++i)
                if (memcmp(info.lines[i].value, dlg->ctrls[i].value, CTRL_TEXT_SIZE) != 0) abort();
        }
        if (result == DLG_KEY_OK || result == DLG_KEY_CANCEL) open_dlg(dlg, &info);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz_init(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, data + size};
    if ((in.next() & 1) == 0) {
        run_ctrl(in);
    } else {
        run_dialog(in);
    }
    return 0;
}
