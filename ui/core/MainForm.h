#pragma once

#include <span>
#include <string_view>

namespace quernfold {

/** The kinds of control on the main form, as a toolkit without a layout of its own creates them. */
enum class ControlKind { Frame, Label, BlueLabel, ComboBox, TextBox, Button, RichText, ProgressBar };

/** One control of the main form: its place and size in twips within its container ("" = the client area). */
struct FormControl {
    std::string_view name;
    int index;  // within a group of labels sharing one name; 0 otherwise
    ControlKind kind;
    std::string_view container;
    std::string_view caption;  // "&" marks a button's access key
    int left, top, width, height;
    int tabIndex;  // position in the tab order, -1 for a control that takes no focus
};

inline constexpr int kMainFormWidth = 11040;   // the client area, in twips
inline constexpr int kMainFormHeight = 7035;

/**
 * The main form's controls, containers before what they contain, each group in the order a toolkit that takes
 * the creation order for the tab order needs: the focus-taking controls in tab order. Label6's caption is
 * built from the maker's details (CreditsLine).
 */
std::span<const FormControl> MainFormControls();

/** The credits line: "制作：", the maker, 14 blanks, "企业网址：", the address, 9 blanks, "Email:", the e-mail. */
std::string_view CreditsLine();

/** A control's rectangle in twips relative to the client area: its own plus its container's offset. */
struct TwipsBox {
    int left, top, width, height;
};
TwipsBox InClientArea(const FormControl& control);

}  // namespace quernfold
