#include "Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <mutex>

namespace platform {

namespace {

struct Resources {
    std::map<unsigned, DialogTemplate> dialogs;
    std::map<unsigned, QString> strings;
    std::map<unsigned, QString> icons;
};

std::vector<std::string> StylesOf(const QJsonValue& value) {
    std::vector<std::string> styles;
    for (const QJsonValue& style : value.toArray())
        styles.push_back(style.toString().toStdString());
    return styles;
}

void ReadScript(const QString& path, Resources& into) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject dialogs = root.value("dialogs").toObject();
    for (auto it = dialogs.begin(); it != dialogs.end(); ++it) {
        const QJsonObject d = it.value().toObject();
        DialogTemplate t;
        t.caption = d.value("caption").toString();
        const QJsonArray size = d.value("size").toArray();
        t.cx = size.at(0).toInt();
        t.cy = size.at(1).toInt();
        const QJsonArray font = d.value("font").toArray();
        t.fontName = font.at(0).toString();
        t.fontPoints = font.at(1).toInt(8);
        t.styles = StylesOf(d.value("styles"));
        for (const QJsonValue& c : d.value("controls").toArray()) {
            const QJsonObject o = c.toObject();
            ControlTemplate control;
            control.id = o.value("id").toInt(-1);
            control.kind = o.value("kind").toString().toStdString();
            control.text = o.value("text").toString();
            const QJsonArray rect = o.value("rect").toArray();
            control.x = rect.at(0).toInt();
            control.y = rect.at(1).toInt();
            control.cx = rect.at(2).toInt();
            control.cy = rect.at(3).toInt();
            control.styles = StylesOf(o.value("styles"));
            control.icon = o.value("icon").toInt();
            t.controls.push_back(std::move(control));
        }
        into.dialogs[it.key().toUInt()] = std::move(t);
    }
    const QJsonObject strings = root.value("strings").toObject();
    for (auto it = strings.begin(); it != strings.end(); ++it)
        into.strings[it.key().toUInt()] = it.value().toString();
    const QJsonObject icons = root.value("icons").toObject();
    const QString folder = QFileInfo(path).path();
    for (auto it = icons.begin(); it != icons.end(); ++it)
        into.icons[it.key().toUInt()] = folder + "/" + it.value().toString();
}

const Resources& All() {
    static Resources resources;
    static std::once_flag once;
    std::call_once(once, [] {
        const QDir folder(":/res");
        for (const QString& name : folder.entryList({"*.rc.json"}, QDir::Files, QDir::Name))
            ReadScript(folder.filePath(name), resources);
    });
    return resources;
}

bool Contains(const std::vector<std::string>& styles, const char* style) {
    return std::find(styles.begin(), styles.end(), style) != styles.end();
}

}  // namespace

bool ControlTemplate::HasStyle(const char* style) const {
    return Contains(styles, style);
}
bool DialogTemplate::HasStyle(const char* style) const {
    return Contains(styles, style);
}

const DialogTemplate* FindDialogTemplate(unsigned id) {
    const auto& dialogs = All().dialogs;
    auto it = dialogs.find(id);
    return it == dialogs.end() ? nullptr : &it->second;
}

std::optional<QString> FindString(unsigned id) {
    const auto& strings = All().strings;
    auto it = strings.find(id);
    if (it == strings.end())
        return std::nullopt;
    return it->second;
}

std::optional<QString> FindIconPath(unsigned id) {
    const auto& icons = All().icons;
    auto it = icons.find(id);
    if (it == icons.end())
        return std::nullopt;
    return it->second;
}

}  // namespace platform
