// The generic dialog functions: opening, drawing and focus moves.
#include "dlg.h"

#include "lcd.h"
#include "rl_log.h"

namespace {

constexpr uint16_t kBandRows = 8;

void paint_background(const dlg_info* dlg) {
    if (dlg->background != DLG_BACKGROUND_CLEAR && dlg->background != DLG_BACKGROUND_FILL) {
        const auto* picture = reinterpret_cast<const uint8_t*>(dlg->background);
        lcd_draw_icon(0, 0, dlg->width, dlg->height, picture,
                      static_cast<uint32_t>(dlg->width) * dlg->height / 8);
        return;
    }
    const uint16_t colour = dlg->background == DLG_BACKGROUND_FILL ? 1 : 0;
    for (uint16_t band = 0; band < dlg->height / kBandRows; ++band) {
        lcd_fill_color(0, static_cast<uint16_t>(band * kBandRows), dlg->width, kBandRows, colour);
    }
}

// Focus moves apply only to a focus inside a valid focusable range.
bool focus_movable(const dlg_info* dlg) {
    return dlg != nullptr && dlg->first_focus <= dlg->focus && dlg->focus <= dlg->last_focus &&
           dlg->last_focus < DLG_CTRL_COUNT;
}

void lose_focus(ctrl_info* ctrl) {
    ctrl->focused = 0;
    ctrl->pending = 0;
    ctrl->caret_visible = 0;
    ctrl->key_ticks = CTRL_REPEAT_TICKS;
    ctrl->redraw = 1;
}

}  // namespace

void open_dlg(dlg_info* dlg, display_info* info) {
    if (dlg == nullptr) return;
    rl_log_debug("Opened Dialog 0x%X.", static_cast<unsigned>(dlg->id));
    if (dlg->init != nullptr) dlg->init(dlg, info);
    if (dlg->show != nullptr) dlg->show(dlg, 1);
}

void dlg_show(dlg_info* dlg, uint8_t force) {
    if (dlg == nullptr) return;
    const uint8_t all = (force != 0 || dlg->redraw_all != 0) ? 1 : 0;
    if (all != 0) {
        lcd_set_redraw(dlg->x, dlg->y, static_cast<uint16_t>(dlg->x + dlg->width - 1),
                       static_cast<uint16_t>(dlg->y + dlg->height - 1));
        paint_background(dlg);
        dlg->redraw_all = 0;
    }
    const int count = dlg->ctrl_count < DLG_CTRL_COUNT ? dlg->ctrl_count : DLG_CTRL_COUNT;
    for (int i = 0; i < count; ++i) ctrl_show(&dlg->ctrls[i], all);
    lcd_refresh();
}

void dlg_next_item(dlg_info* dlg) {
    if (!focus_movable(dlg)) return;
    lose_focus(&dlg->ctrls[dlg->focus]);
    dlg->focus = dlg->focus == dlg->last_focus ? dlg->first_focus
                                               : static_cast<uint8_t>(dlg->focus + 1);
    ctrl_info* gaining = &dlg->ctrls[dlg->focus];
    gaining->focused = 1;
    gaining->redraw = 1;
    dlg->changed = 1;
}

void dlg_prev_item(dlg_info* dlg) {
    if (!focus_movable(dlg)) return;
    lose_focus(&dlg->ctrls[dlg->focus]);
    dlg->focus = dlg->focus == dlg->first_focus ? dlg->last_focus
                                                : static_cast<uint8_t>(dlg->focus - 1);
    ctrl_info* gaining = &dlg->ctrls[dlg->focus];
    gaining->focused = 1;
    gaining->caret_visible = 1;
    gaining->redraw = 1;
    dlg->changed = 1;
}
