#pragma once

#include "settings/JobSettings.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qm::ui {

enum class ControlKind {
    TextBox,
    Label,
    CheckBox,
    DelimiterList,
    Button,
    PictureButton,
    StatusBar
};

struct TwipsRect {
    long long left = 0;
    long long top = 0;
    long long width = 0;
    long long height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

// One control of the main window as it is at creation, in tab order.
struct ControlSpec {
    const char* name;
    ControlKind kind;
    const char* caption; // the caption or the text at creation
    std::optional<SettingsField> field;
    TwipsRect rect;
};

// The window's controls in tab order.
std::span<const ControlSpec> Controls();

// The client area at creation and the outer size the window takes without stored values.
inline constexpr long long ClientWidth = 5715;
inline constexpr long long ClientHeight = 5505;

// The choices of the delimiter list, in order; any other text may be typed.
inline constexpr std::array<const char*, 4> DelimiterChoices = {",", "Tab", "|", ";"};

// The twips geometry of every control and of the two status panels, following the window's
// width by the resize rules: the path boxes keep 1380 twips free for the Browse buttons, the
// field names box 420, and each panel takes half the width. A step whose value a control
// cannot take (a negative width, a panel wider than 32767) changes nothing, and the steps
// after it go on with what is there.
class WindowLayout {
public:
    WindowLayout();

    const TwipsRect& rect(std::string_view name) const;
    long long panelWidth(int panel) const { return panels_.at(panel - 1); }

    void resize(long long outerWidth);

private:
    TwipsRect& at(std::string_view name);

    std::array<TwipsRect, 25> rects_;
    std::array<long long, 2> panels_{};
};

// W / 2 with a half going to the even neighbour.
long long HalfToEven(long long width);

} // namespace qm::ui
