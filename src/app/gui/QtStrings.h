#pragma once

#include <QString>
#include <string>

namespace tabulo::gui {

// The engine's texts are UTF-8; the widgets' are QStrings.
inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string s(const QString& q) {
    return q.toStdString();
}

}  // namespace tabulo::gui
