#pragma once

namespace qm {

// A check box's value: off, ticked, or the third, dimmed state.
enum class CheckState : int { Unchecked = 0, Checked = 1, Grayed = 2 };

// Any state other than off: how the BIF flags read a check box.
constexpr bool CountsAsSet(CheckState state) {
    return state != CheckState::Unchecked;
}

// The plain ticked state only: how moving images reads its check box.
constexpr bool IsTicked(CheckState state) {
    return state == CheckState::Checked;
}

} // namespace qm
