// Resources.h (private to the layer): the program's resources, read from the JSON resource
// scripts compiled into it (":/res/*.rc.json"): dialog templates, strings and icons.
#pragma once

#include <QString>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ControlTemplate {
    int id = -1;
    std::string
        kind;  // listview, pushbutton, defpushbutton, groupbox, ltext, edit, autocheckbox, icon
    QString text;
    int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    std::vector<std::string> styles;
    int icon = 0;
    bool HasStyle(const char* style) const;
};

struct DialogTemplate {
    QString caption;
    int cx = 0, cy = 0;  // dialog units
    QString fontName;
    int fontPoints = 8;
    std::vector<std::string> styles;
    std::vector<ControlTemplate> controls;
    bool HasStyle(const char* style) const;
};

const DialogTemplate* FindDialogTemplate(unsigned id);
std::optional<QString> FindString(unsigned id);
// The resource path of icon `id`, if there is one.
std::optional<QString> FindIconPath(unsigned id);

}  // namespace platform
