#include "ui/WindowLayout.h"

#include "operation/ErrorReporter.h"
#include "platform/Error.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace qm::ui {

namespace {

const ControlSpec ControlTable[] = {
    {"txtIDX", ControlKind::TextBox, "input.csv", TextField::IndexFile, {120, 360, 4455, 375}},
    {"Label1", ControlKind::Label, "Index File", {}, {120, 120, 2655, 255}},
    {"txtBIF", ControlKind::TextBox, "output.bif", TextField::BIFFile, {120, 1080, 4455, 375}},
    {"lblBIFFile", ControlKind::Label, "BIF Output File", {}, {120, 840, 1815, 255}},
    {"txtDocType", ControlKind::TextBox, "", TextField::DocType, {120, 2520, 1995, 375}},
    {"lblDocType", ControlKind::Label, "Document Type", {}, {120, 2280, 1995, 255}},
    {"txtFolder", ControlKind::TextBox, "", TextField::Folder, {120, 3240, 2000, 375}},
    {"lblFolder", ControlKind::Label, "Folder", {}, {120, 3000, 1995, 255}},
    {"cmdBrowseIDX", ControlKind::Button, "Browse", {}, {4680, 300, 900, 500}},
    {"cmdBrowseXML", ControlKind::Button, "Browse", {}, {4680, 1020, 900, 500}},
    {"txtFNAMES",
     ControlKind::TextBox,
     "Name|Scan Date|ID Number",
     TextField::FieldNames,
     {120, 4680, 5415, 375}},
    {"Label8",
     ControlKind::Label,
     "Field Names ( list in order, separate values with | )",
     {},
     {120, 4440, 5415, 255}},
    {"txtMaxFiles", ControlKind::TextBox, "2500", TextField::MaxFiles, {3840, 3840, 675, 375}},
    {"lblMaxFiles", ControlKind::Label, "Max Files per BIF", {}, {3840, 3600, 675, 255}},
    {"cmdBrowseFolder", ControlKind::Button, "Browse", {}, {4680, 1740, 900, 500}},
    {"txtImageFolder", ControlKind::TextBox, "", TextField::ImageFolder, {120, 1800, 4455, 375}},
    {"Label11", ControlKind::Label, "Image Folder", {}, {120, 1560, 2655, 255}},
    {"cboDelimiter", ControlKind::DelimiterList, ",", TextField::Delimiter, {120, 3960, 2055, 315}},
    {"Label12",
     ControlKind::Label,
     "Delimiter (quotes detected automatically)",
     {},
     {120, 3720, 2955, 255}},
    {"cmdRun", ControlKind::PictureButton, "&Run", {}, {4680, 2400, 900, 735}},
    {"chkAppend",
     ControlKind::CheckBox,
     "Append to Existing Files",
     CheckField::Append,
     {2280, 2400, 2175, 255}},
    {"chkCreate",
     ControlKind::CheckBox,
     "Create Folder on Server",
     CheckField::CreateFolder,
     {2280, 3120, 2175, 255}},
    {"chkDelete",
     ControlKind::CheckBox,
     "Delete Original Images",
     CheckField::DeleteImages,
     {2280, 2760, 2175, 255}},
    {"chkMoveFiles",
     ControlKind::CheckBox,
     "Move Files to BIF Folder",
     CheckField::MoveFiles,
     {2400, 840, 2175, 255}},
    {"sb", ControlKind::StatusBar, "", {}, {0, 5130, 5715, 375}},
};

// A width or a left edge a control accepts; anything else fails like an invalid property.
long long Checked(long long value) {
    if (value < 0 || value > std::numeric_limits<std::int32_t>::max())
        throw Error(errnum::InvalidPropertyValue, "Quillmarch", "Invalid property value");
    return value;
}

} // namespace

std::span<const ControlSpec> Controls() {
    return ControlTable;
}

long long HalfToEven(long long width) {
    long long half = width / 2;
    if (width % 2 != 0 && half % 2 != 0)
        half += width > 0 ? 1 : -1;
    return half;
}

WindowLayout::WindowLayout() {
    static_assert(std::size(ControlTable) == std::tuple_size_v<decltype(rects_)>);
    for (std::size_t i = 0; i < rects_.size(); ++i)
        rects_[i] = ControlTable[i].rect;
    panels_ = {ClientWidth / 2, ClientWidth / 2};
}

const TwipsRect& WindowLayout::rect(std::string_view name) const {
    for (std::size_t i = 0; i < rects_.size(); ++i) {
        if (name == ControlTable[i].name)
            return rects_[i];
    }
    throw std::out_of_range("no control named " + std::string(name));
}

TwipsRect& WindowLayout::at(std::string_view name) {
    return const_cast<TwipsRect&>(std::as_const(*this).rect(name));
}

void WindowLayout::resize(long long outerWidth) {
    const std::vector<void (*)(WindowLayout&, long long)> steps = {
        [](WindowLayout& l, long long w) { l.at("txtImageFolder").width = Checked(w - 1380); },
        [](WindowLayout& l, long long) { l.at("txtBIF").width = l.rect("txtImageFolder").width; },
        [](WindowLayout& l, long long) { l.at("txtIDX").width = l.rect("txtBIF").width; },
        [](WindowLayout& l, long long w) { l.at("txtFNAMES").width = Checked(w - 420); },
        [](WindowLayout& l, long long) {
            const TwipsRect& box = l.rect("txtIDX");
            l.at("cmdBrowseIDX").left = Checked(box.left + box.width + 100);
        },
        [](WindowLayout& l, long long) { l.at("cmdBrowseXML").left = l.rect("cmdBrowseIDX").left; },
        [](WindowLayout& l, long long) {
            l.at("cmdBrowseFolder").left = l.rect("cmdBrowseIDX").left;
        },
        [](WindowLayout& l, long long w) {
            const long long half = HalfToEven(w);
            if (half < 0 || half > std::numeric_limits<std::int16_t>::max())
                throw Error(errnum::Overflow, "Quillmarch", "Overflow");
            l.panels_[0] = half;
        },
        [](WindowLayout& l, long long) { l.panels_[1] = l.panels_[0]; },
    };
    for (const auto& step : steps)
        AttemptIgnoringFailure([&] { step(*this, outerWidth); });
}

} // namespace qm::ui
