#include "ui/core/MainForm.h"

#include <array>
#include <string>

#include "ui/MakerInfo.h"

namespace quernfold {

namespace {

using K = ControlKind;

// Frames first (they are drawn behind what they hold), then the focus-taking controls in tab order, then the
// labels and the bar.
constexpr std::array kControls = {
    FormControl{"Frame1", 0, K::Frame, "", "转换设置...", 240, 120, 10530, 2805, -1},
    FormControl{"Frame2", 0, K::Frame, "", "网页转换", 210, 2985, 10545, 3585, -1},
    FormControl{"wwwUrl", 0, K::TextBox, "Frame1", "", 5205, 315, 4680, 390, 0},
    FormControl{"cmdSetWWW", 0, K::Button, "Frame1", "...", 9900, 300, 450, 405, 1},
    FormControl{"srcType", 0, K::ComboBox, "Frame1", "", 1110, 345, 2235, 300, 2},
    FormControl{"outputType", 0, K::ComboBox, "Frame1", "", 1095, 915, 2265, 300, 3},
    FormControl{"outputDir", 0, K::TextBox, "Frame1", "", 5220, 930, 4650, 390, 4},
    FormControl{"Command2", 0, K::Button, "Frame1", "...", 9885, 930, 480, 390, 5},
    FormControl{"cmdConvert", 0, K::Button, "Frame2", "&C.开始转换", 9075, 570, 1275, 555, 6},
    FormControl{"Command3", 0, K::Button, "Frame2", "&Q.退  出", 9075, 2025, 1260, 540, 7},
    FormControl{"outText", 0, K::RichText, "Frame2", " ", 165, 540, 8490, 2505, 8},
    FormControl{"cmdSaveLog", 0, K::Button, "Frame2", "&S.保存日志", 9090, 1320, 1260, 495, 9},
    FormControl{"Label2", 0, K::Label, "Frame1", "网页类型：", 150, 420, 1050, 330, -1},
    FormControl{"Label1", 0, K::Label, "Frame1", "网站文件根目录：", 3735, 480, 1545, 375, -1},
    FormControl{"Label3", 0, K::Label, "Frame1", "转换为：", 315, 960, 750, 360, -1},
    FormControl{"Label4", 0, K::Label, "Frame1", "转换结果存放目录：", 3570, 990, 1935, 390, -1},
    FormControl{"Label5", 0, K::BlueLabel, "Frame1", "操作说明：", 210, 1410, 1860, 330, -1},
    FormControl{"Label8", 0, K::Label, "Frame1", "1.该工具用于把动态网页中的include部分，自动替换为相应的文件内容。", 510,
                1725, 9600, 345, -1},
    FormControl{"Label8", 1, K::Label, "Frame1", "2.如果网站文件的根目录未正确指定，转换时可能为异常，详见转换日志。", 510,
                2070, 9600, 345, -1},
    FormControl{"Label8", 2, K::Label, "Frame1",
                "3.基本操作步骤：指定网页类型、网站根目录->指定转换结果类型及存放位置-> 点击“开始转换”", 495, 2415, 9600,
                345, -1},
    FormControl{"Label7", 0, K::Label, "Frame2", "转换结果日志：", 225, 300, 1830, 225, -1},
    FormControl{"Bar1", 0, K::ProgressBar, "Frame2", "", 135, 3180, 10260, 270, -1},
    FormControl{"Label6", 0, K::Label, "", "", 405, 6690, 10275, 300, -1},
};

}  // namespace

std::span<const FormControl> MainFormControls() { return kControls; }

std::string_view CreditsLine() {
    static const std::string line = std::string("制作：") + kMakerName + std::string(14, ' ') + "企业网址：" +
                                    kMakerWebAddress + std::string(9, ' ') + "Email:" + kMakerEmail;
    return line;
}

TwipsBox InClientArea(const FormControl& control) {
    TwipsBox box{control.left, control.top, control.width, control.height};
    for (const FormControl& frame : kControls) {
        if (frame.kind == K::Frame && frame.name == control.container) {
            box.left += frame.left;
            box.top += frame.top;
        }
    }
    return box;
}

}  // namespace quernfold
