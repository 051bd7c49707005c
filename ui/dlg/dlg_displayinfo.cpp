// The display-info dialog: controls built from a screen description, keys and
// the tick.
#include <cstring>

#include "dlg.h"

dlg_info g_dlgdisplay = {
    displayinfo_init, displayinfo_show, displayinfo_keydown, displayinfo_keyup,
    displayinfo_process_1s,
    0, 0, 132, 64,
    0,  // id
    1,  // redraw all
    0, 0, 0, 0, 0, 0,
    DLG_BACKGROUND_CLEAR,
    {},
    nullptr,
};

namespace {

ctrl_info* focused_ctrl(dlg_info* dlg) {
    if (dlg == nullptr || dlg->focus >= DLG_CTRL_COUNT) return nullptr;
    return &dlg->ctrls[dlg->focus];
}

// The character a character key enters; 0 for other keys.
char key_character(uint8_t key) {
    if (key >= 1 && key <= 9) return static_cast<char>('0' + key);
    switch (key) {
    case 10: return '0';
    case 11: return '*';
    case 12: return '#';
    default: return 0;
    }
}

// A focus move in which the gaining control keeps the user's input method.
void move_focus(dlg_info* dlg, void (*move)(dlg_info*)) {
    const uint8_t method = dlg->ctrls[dlg->focus].input_method;
    move(dlg);
    if (dlg->focus < DLG_CTRL_COUNT) dlg->ctrls[dlg->focus].input_method = method;
}

// Control 9 is the input-method indicator of the user-setting screen.
constexpr int kInputIndicator = 9;

void copy_values_back(dlg_info* dlg) {
    if (dlg->info == nullptr) return;
    for (int i = 0; i < DLG_CTRL_COUNT; ++i) {
        static_assert(sizeof(dlg->info->lines[i].value) == sizeof(dlg->ctrls[i].value));
        memcpy(dlg->info->lines[i].value, dlg->ctrls[i].value, CTRL_TEXT_SIZE);
    }
}

}  // namespace

void displayinfo_init(dlg_info* dlg, display_info* info) {
    if (dlg == nullptr || info == nullptr) return;
    dlg->info = info;
    dlg->background = info->background;
    for (int i = 0; i < DLG_CTRL_COUNT; ++i) {
        display_line& line = info->lines[i];
        ctrl_info* ctrl = &dlg->ctrls[i];
        // Labels and values of a description may fill their whole field.
        char label[CTRL_TEXT_SIZE];
        char value[CTRL_TEXT_SIZE];
        memcpy(label, line.label, CTRL_MAX_TEXT);
        label[CTRL_MAX_TEXT] = '\0';
        memcpy(value, line.value, CTRL_MAX_TEXT);
        value[CTRL_MAX_TEXT] = '\0';
        ctrl_init(ctrl, CTRL_TYPE_LABEL, static_cast<uint16_t>(line.x), static_cast<uint16_t>(line.y),
                  static_cast<uint16_t>(line.width), static_cast<uint16_t>(line.height),
                  static_cast<uint16_t>(line.value_width), 0, label, value);
        ctrl_set_align(ctrl, line.align);
        ctrl_set_reverse(ctrl, line.reverse);
        ctrl->frame = line.frame;
        // Set after initialisation: input controls start with the caret at 0
        // and hidden until the first tick.
        ctrl->type = line.type;
    }
    if (info->focus < DLG_CTRL_COUNT) dlg->ctrls[info->focus].focused = 1;
    dlg->focus = info->focus;
    dlg->first_focus = info->first_focus;
    dlg->last_focus = info->last_focus;
    dlg->ctrl_count = DLG_CTRL_COUNT;
}

void displayinfo_show(dlg_info* dlg, uint8_t force) {
    if (dlg != nullptr) dlg_show(dlg, force);
}

int displayinfo_keydown(dlg_info* dlg, uint8_t key) {
    ctrl_info* ctrl = focused_ctrl(dlg);
    if (ctrl == nullptr) return DLG_KEY_NO_FOCUS;

    if (char c = key_character(key); c != 0) {
        ctrl_add_char(ctrl, c);
    } else {
        switch (key) {
        case 13: move_focus(dlg, dlg_prev_item); break;
        case 14: move_focus(dlg, dlg_next_item); break;
        case 15: ctrl_move_left(ctrl); break;
        case 16: ctrl_move_right(ctrl); break;
        case 17:
        case 35:
            copy_values_back(dlg);
            return DLG_KEY_OK;
        case 18:
        case 34: ctrl_del_char(ctrl); break;
        case 32: return DLG_KEY_CANCEL;
        case 33: {
            ctrl_switch_input(ctrl);
            ctrl_info* indicator = &dlg->ctrls[kInputIndicator];
            const char* name = ctrl_get_input_text(ctrl->input_method);
            strncpy(indicator->label, name, CTRL_MAX_TEXT);
            indicator->label[CTRL_MAX_TEXT] = '\0';
            indicator->redraw = 1;
            break;
        }
        default: break;
        }
    }
    if (dlg->show != nullptr) dlg->show(dlg, 0);
    return DLG_KEY_HANDLED;
}

void displayinfo_keyup(dlg_info*, uint8_t) {}

void displayinfo_process_1s(dlg_info* dlg) {
    ctrl_info* ctrl = focused_ctrl(dlg);
    if (ctrl == nullptr) return;
    ctrl_show_cursor(ctrl, ctrl->caret_visible != 0 ? 0 : 1);
    if (dlg->show != nullptr) dlg->show(dlg, 0);
}
