#pragma once

#include <string>

// The about box's texts (UTF-8): caption, the two lines beside the icon and the button.
struct AboutBoxTexts {
    std::string caption = "关于 Vornak";
    std::string versionLine = "Vornak，版本 1.0";
    std::string copyrightLine = "Copyright (C) 2026";
    std::string okButton = "确定";
};
